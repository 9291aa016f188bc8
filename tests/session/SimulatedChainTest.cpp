#include <gmock/gmock.h>

#include "SessionFixture.h"
#include "lpt/PortSelection.h"
#include "session/Backends.h"
#include "sim/SimSettings.h"

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

// The session on the real parallel backend with the simulated cable and chip: the workers run on
// their own threads and the events arrive through the queue as they would in the window.
class SimulatedChainTest : public SessionFixture {
protected:
    void SetUp() override {
        SessionFixture::SetUp();
        SetLptDeviceOverride("sim:at89s52");
        SetSimFlashFile(dir.File("flash.bin"));
        session = std::make_unique<CProgrammingSession>(view, DefaultBackends());
        session->Start(&queue);
        session->m_programmer.LoadChipListFrom(chipFile);
        const auto started = queue.WaitEvent(std::chrono::seconds(30));
        ASSERT_EQ(started, std::optional<int>(PE_PARALLEL_INIT_DONE));
        session->OnProgrammerEvent(*started);
    }
    void TearDown() override {
        SessionFixture::TearDown();
        SetLptDeviceOverride("");
        SetSimFlashFile("");
    }

    // Hands events to the session until a sequence ends; a generous limit only guards a hang.
    void RunUntilEnded() {
        view.ends.clear();
        while (view.ends.empty()) {
            const auto code = queue.WaitEvent(std::chrono::seconds(30));
            ASSERT_TRUE(code.has_value()) << "no event";
            session->OnProgrammerEvent(*code);
        }
    }
};

TEST_F(SimulatedChainTest, AutoCompleteProgramsAndVerifiesTheSimulatedChip) {
    MarkAll();
    std::string image(300, '\0');
    for (size_t i = 0; i < image.size(); ++i) image[i] = char(i * 7 + 1);
    const std::string path = dir.Write("image.bin", image);
    session->SetImageFile(path);
    ASSERT_TRUE(session->OnAutoComplete());
    RunUntilEnded();
    EXPECT_THAT(view.ends, ElementsAre(true));
    EXPECT_THAT(view.prompts, ElementsAre("success"));
    EXPECT_EQ(view.log.front(), "读入文件 " + path + " 到缓冲1(300字节).");
    EXPECT_EQ(view.log.back(), kVerifyFooter);
    EXPECT_THAT(view.log, ::testing::Contains("AT89S52 - ROM容量:8K字节. 编程电压:4.50V."));
    EXPECT_EQ(view.progressText, "读器件完成");
    EXPECT_EQ(view.progressPosition, 100);
    EXPECT_EQ(std::string(view.view2.begin(), view.view2.begin() + 300), image);
}

}  // namespace
