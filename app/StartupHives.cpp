#include "StartupHives.h"

#include "Captions.h"
#include "ErrorReporting.h"
#include "Registry.h"

#include <vantor_registry.h>

#include <set>
#include <string>

namespace {

std::set<std::string> g_told;

} // namespace

void TellUnchangeableHives(TLanguage language)
{
    g_told.clear();
    for (const char *file : {"system.reg", "user.reg"}) {
        VtrHiveState state{};
        if (VtrRegHiveState(file, &state) != ERROR_SUCCESS || state.cause == VTR_HIVE_WRITABLE
            || state.cause == VTR_HIVE_READ_ONLY_REQUESTED)
            continue;
        g_told.insert(file);
        const QString notice =
            ReadOnlyHiveNotice(language, QString::fromUtf8(state.file), QString::fromUtf8(state.reason));
        ShowErrorBox(notice.toStdString());
    }
}

bool ToldUnchangeable(const char *fileName) { return g_told.contains(fileName); }

void RunStartupStep(const std::function<void()> &step)
{
    if (g_told.empty()) {
        RunReportingFailures(step);
        return;
    }
    try {
        step();
    } catch (const ERegistryException &) {
        // A refused write: its cause has been told.
    }
}
