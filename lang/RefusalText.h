// Why the registry refused, said in one of the interface languages: one
// sentence, from the refusal's cause, problem, file and line.
#pragma once

#include "Language.h"
#include "Refusal.h"

#include <QString>

// For example "Файл реестра /home/u/.wine/system.reg не будет изменён: строка
// 42 оборвана на середине (файл, возможно, обрезан)." Ends with a period.
QString RefusalText(TLanguage language, const RegistryRefusal &refusal);
