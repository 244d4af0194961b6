#include "extract/catalogue.h"

const char kUsageMessage[] = "Usage: %s [d88file]\n";
// "ファイルをオープンできません." in Shift-JIS.
const char kOpenErrorMessage[] =
    "\x83\x74\x83\x40\x83\x43\x83\x8B\x82\xF0\x83\x49\x81\x5B\x83\x76\x83\x93"
    "\x82\xC5\x82\xAB\x82\xDC\x82\xB9\x82\xF1.\n";
// "Disk A を認識しました." and "Disk B を認識しました." in Shift-JIS.
const char kDiskARecognisedMessage[] = "Disk A \x82\xF0\x94\x46\x8E\xAF\x82\xB5\x82\xDC\x82\xB5\x82\xBD.\n";
const char kDiskBRecognisedMessage[] = "Disk B \x82\xF0\x94\x46\x8E\xAF\x82\xB5\x82\xDC\x82\xB5\x82\xBD.\n";

SignatureReading readSignature(D88Reader& reader, uint8_t* buffer)
{
    SignatureReading reading{0, 0, DiskKind::Neither};
    reading.bytesRead = reader.readSector(kSignatureTrack, kSignatureCylinder, kSignatureHead, kSignatureSector,
                                          kSignatureSizeCode, buffer, kSignatureLength);
    if (reading.bytesRead == 0) {
        return reading;
    }
    reading.firstByte = buffer[0];
    // Disk B is tested first.
    if (reading.firstByte == kDiskBSignature) {
        reading.kind = DiskKind::DiskB;
    } else if (reading.firstByte == kDiskASignature) {
        reading.kind = DiskKind::DiskA;
    }
    return reading;
}
