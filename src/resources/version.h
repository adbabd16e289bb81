// The product's version and rights line, for the program's texts (compiled to GBK) and for
// the version resource in TorvekQuindle.rc (stored as UTF-16). Plain macros: the resource
// compiler reads this file too. UTF-8.
#pragma once

#define TQ_VERSION_TEXT "2.0"
#define TQ_VERSION_DOTTED "2.0.0.0"
#define TQ_VERSION_NUMBERS 2, 0, 0, 0
#define TQ_COPYRIGHT_YEARS "2024-2026"
#define TQ_RIGHTS_HOLDER "Torvek 倒计时小组"
