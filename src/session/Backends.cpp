#include "session/Backends.h"

#ifdef OLSTRIN_HAVE_LPT
#include "isp/IspSelection.h"
#include "lpt/ParallelBackend.h"
#include "platform/FailureReason.h"
#endif
#ifdef OLSTRIN_HAVE_SERIAL
#include "serial/SerialBackend.h"
#endif

#ifdef OLSTRIN_HAVE_LPT
namespace {

// Cable types 1..4: the ISP link chosen in [Devices] ISP (or by --isp) clocks the instructions
// when one is chosen, else the parallel port does.
BackendStart CreateCableBackend(CProgrammer& programmer, int cableType, int cableSpeed) {
    const std::string words = IspSetting();
    if (words.empty()) return CreateParallelBackend(programmer, cableType, cableSpeed);
    return CreateLinkBackend(programmer, [words](std::function<bool()> stopping) {
        IspSelection selection;
        if (!ParseIspSelection(words, selection)) {
            platform::ReportFailureReason("[Devices] ISP=" + words +
                                          ": not a programmer link (arduino:PATH[@BAUD], "
                                          "arduino:sim, usbasp[:SERIAL|:BUS:DEVICE])");
            return std::unique_ptr<IIspLink>();
        }
        return CreateIspLink(selection, std::move(stopping));
    });
}

}  // namespace
#endif

BackendFactory DefaultBackends() {
    BackendFactory factory;
#ifdef OLSTRIN_HAVE_SERIAL
    factory.createSerial = CreateSerialBackend;
#endif
#ifdef OLSTRIN_HAVE_LPT
    factory.createParallel = CreateCableBackend;
#endif
    return factory;
}
