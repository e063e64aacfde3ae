/* Compiles the route library's header as strict C90 (with stdint.h): C hosts use it too. */
#include "korvale_routes.h"

typedef int korvale_routes_header_compiles_as_c;
