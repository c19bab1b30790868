#pragma once

#include "i18n/language.h"

namespace ravelin {

// The process's one text object, built during static initialisation from
// string-table entry 1 of the program's own resources.
extern const CLanguage g_Language;

// The language named by string-table entry 1 of `module` (9-character read).
UiLanguage ReadBuildLanguage(void* module);

}  // namespace ravelin
