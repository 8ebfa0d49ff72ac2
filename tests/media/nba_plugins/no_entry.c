/* A library with resources but no NBAMain. */
#include "nba_abi.h"

static const NBAResources resources = {sizeof(NBAResources), "NOENTRY.NBA", "No entry", "", 0, 7001};
NBA_EXPORT const NBAResources* NBAGetResources(void) { return &resources; }
