// Where the language-table tests get the generated tables: files of the build tree, or resources.
#pragma once

#include "Msglangcreateutil.h"

LanguageResourceSource tableSource();
