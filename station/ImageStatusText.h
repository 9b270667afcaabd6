#pragma once

#include <QString>

#include "station/ImageFolderCheck.h"

// What the window says of an image's check: "checking…", "missing", "refused: …" or
// "321 blocks, checkpoint yes, SHA-256 e93c39ac9b88…, accepted".
QString ImageStatusText(const ImageStatus& status);
