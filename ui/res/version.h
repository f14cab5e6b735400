// The program's version block, shared by the Windows resource script and the About box. The version,
// the maker and the copyright come from the build (ZK405Version.h); the rest names this program.
#pragma once

#include "ZK405Version.h"

#define ZK405_INTERNAL_NAME "ZK405"
#define ZK405_ORIGINAL_FILENAME "ZK405.EXE"
#define ZK405_FILE_DESCRIPTION "ZK405 MFC Application"
#define ZK405_PRODUCT_NAME "ZK405 Application"
