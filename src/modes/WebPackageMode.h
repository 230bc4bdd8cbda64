// The web update package: the file "FwToUpload.bin", a short text header and
// the MCU image in Base64, for the unit's web page to upload.
#ifndef WEB_PACKAGE_MODE_H
#define WEB_PACKAGE_MODE_H

#include "Platform.h"

#define FIRMWARE_FILE_HEADER_FOR_WEB "KorVan\r\n418260\r\n"
#define FIRMWARE_CHUNCK_SIZE_FOR_WEB 928
#define FIRMWARE_FILE_NAME_FOR_WEB "FwToUpload.bin"
#define WEB_BASE64_BUFFER_SIZE (600 * 1024)

// Writes "FwToUpload.bin" from gHexFirmware. 1 when the package was written.
// The package goes into a new file beside it that takes the name only when
// every write, the flush, the sync and the close succeeded; on any failure
// (an image too large to encode included) the new file is removed, an
// existing package, FIFO or link of that name is left as it was, and the
// system's reason is shown.
BOOL createFirmwareFileForWeb(void);

// The --web-package run: the session buffers, the package, the exit status.
int runWebPackageWriter(void);

#endif
