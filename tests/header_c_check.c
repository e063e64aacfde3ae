/* Compiles the public header as strict C90 (with stdint.h): a C host must be able to use it. */
#include "korvale.h"

typedef int korvale_header_compiles_as_c;
