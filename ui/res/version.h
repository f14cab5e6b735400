// The program's version block, shared by the Windows resource script and the About box.
#pragma once

#define ZK405_VERSION_NUMBERS 1, 0, 0, 1
#define ZK405_VERSION_TEXT "1, 0, 0, 1"
#define ZK405_INTERNAL_NAME "ZK405"
#define ZK405_ORIGINAL_FILENAME "ZK405.EXE"
#define ZK405_FILE_DESCRIPTION "ZK405 MFC Application"
#define ZK405_PRODUCT_NAME "ZK405 Application"
#define ZK405_COMPANY_NAME "KALDOR"
#define ZK405_COPYRIGHT "Copyright (C) 2026 KALDOR"
