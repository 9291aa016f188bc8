#include <gtest/gtest.h>

#include "isp/IspSelection.h"

namespace {

IspSelection Parsed(const std::string& text) {
    IspSelection selection;
    EXPECT_TRUE(ParseIspSelection(text, selection)) << text;
    return selection;
}

}  // namespace

TEST(IspSelection, ArduinoPathAndRate) {
    EXPECT_EQ(kDefaultArduinoBaud, 19200);
    IspSelection s = Parsed("arduino:/dev/ttyACM0");
    EXPECT_EQ(s.kind, IspSelection::Kind::Arduino);
    EXPECT_EQ(s.device, "/dev/ttyACM0");
    EXPECT_EQ(s.baud, 19200);
    s = Parsed("arduino:/dev/serial/by-id/usb-Arduino@1@115200");
    EXPECT_EQ(s.device, "/dev/serial/by-id/usb-Arduino@1");
    EXPECT_EQ(s.baud, 115200);
    s = Parsed("arduino:sim:at89s51");
    EXPECT_EQ(s.device, "sim:at89s51");
    EXPECT_EQ(Parsed("").kind, IspSelection::Kind::None);
}

TEST(IspSelection, UsbaspForms) {
    IspSelection s = Parsed("usbasp");
    EXPECT_EQ(s.kind, IspSelection::Kind::Usbasp);
    EXPECT_EQ(s.device, "");
    EXPECT_EQ(s.usbBus, -1);
    s = Parsed("usbasp:0001A2");
    EXPECT_EQ(s.device, "0001A2");
    s = Parsed("usbasp:3:17");
    EXPECT_EQ(s.device, "");
    EXPECT_EQ(s.usbBus, 3);
    EXPECT_EQ(s.usbAddress, 17);
}

TEST(IspSelection, MalformedWordsAreRefused) {
    for (const char* text :
         {"arduino:", "arduino:@19200", "arduino:/dev/ttyACM0@", "arduino:/dev/x@0",
          "arduino:/dev/x@96OO", "usbasp:", "usbasp:1:", "usbasp:1:256", "usbasp:a:2",
          "Arduino:/dev/ttyACM0", "stk500v1:/dev/ttyACM0"}) {
        IspSelection s;
        EXPECT_FALSE(ParseIspSelection(text, s)) << text;
    }
}
