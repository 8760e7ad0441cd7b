#include "StartupHives.h"

#include "ErrorReporting.h"
#include "RefusalText.h"
#include "Registry.h"

void TellUnchangeableHives(TLanguage language)
{
    for (const char *file : {"system.reg", "user.reg"}) {
        const std::optional<RegistryRefusal> refusal = TRegistry::FileRefusal(file);
        if (!refusal || refusal->cause == RegistryRefusal::Cause::Requested)
            continue;
        ShowErrorBox(RefusalText(language, *refusal).toStdString());
        TRegistry::MarkTold(file);
    }
}

bool AlreadyTold(const ERegistryException &failure)
{
    return failure.Reason() && failure.Reason()->told;
}

void RunStartupStep(const std::function<void()> &step)
{
    try {
        step();
    } catch (const ERegistryException &failure) {
        if (!AlreadyTold(failure))
            ReportException(failure);
    } catch (const std::exception &failure) {
        ReportException(failure);
    } catch (...) {
        ShowErrorBox("Unknown failure");
    }
}
