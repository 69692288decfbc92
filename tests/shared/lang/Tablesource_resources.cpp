// The generated tables as the test program carries them: its own BINRES resources.
#include "Tablesource.h"

LanguageResourceSource tableSource() { return programLanguageResources(); }
