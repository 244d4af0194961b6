#include "extract/catalogue.h"

const char kUsageMessage[] = "Usage: %s [d88file]\n";
// The Japanese messages are in extract/console.cpp, with their UTF-8 forms.

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
