#pragma once
// Writes a recording's samples as FLAC, Ogg Opus or 16-bit WAV, with its tags, through
// libsndfile (and libsamplerate where Opus needs another sampling rate).
#include <QByteArrayView>
#include <QString>
#include <functional>

#include "export/ExportFormat.h"
#include "export/ExportTexts.h"
#include "sound/WavFormat.h"

enum class TEncodeResult { kDone, kCancelled, kFailed };

// How much of the recording is written (0 to 1); false cancels.
using TEncodeProgress = std::function<bool(double fraction)>;

// The rates Opus takes; a recording at another rate is converted to the next one above.
int ExportSamplingRate(TExportFormat format, int recordingRate);

// Encodes the samples that `wav` finds in `image` into the open file `fd` (left open).
// FLAC and WAV keep every sample exactly (8- and 16-bit recordings; 32-bit ones are cut
// to 24 bits in FLAC and 16 in WAV); Opus is lossy at kOpusBitrate. On kFailed, *error
// says why; on kCancelled and kFailed the file holds no usable content.
TEncodeResult EncodeRecording(const TWavInfo& wav, QByteArrayView image, int fd,
                              TExportFormat format, const TExportTags& tags,
                              const TEncodeProgress& progress, QString* error);
