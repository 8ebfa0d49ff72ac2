/* A library that ends the process as it is loaded. */
#include <stdlib.h>

#include "nba_abi.h"

__attribute__((constructor)) static void dieOnLoad(void) { abort(); }
NBA_EXPORT int32_t NBAMain(uint8_t* block) { (void)block; return 0; }
