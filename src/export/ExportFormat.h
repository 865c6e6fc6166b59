#pragma once
// The formats a call can be exported in, their file extensions and names.
#include <QString>
#include <array>
#include <optional>

enum class TExportFormat {
  kFlac,  // lossless, 16-bit
  kOpus,  // Ogg Opus for speech, at most kOpusBitrate
  kWav,   // RIFF/WAVE 16-bit PCM
};

inline constexpr TExportFormat kDefaultExportFormat = TExportFormat::kFlac;
inline constexpr std::array<TExportFormat, 3> kExportFormats = {
    TExportFormat::kFlac, TExportFormat::kOpus, TExportFormat::kWav};
// Bits per second of an Opus export, container included at most.
inline constexpr int kOpusBitrate = 16000;

// "flac", "opus", "wav": the file extension and the command line's name alike.
QString ExportExtension(TExportFormat format);
std::optional<TExportFormat> ExportFormatFromName(const QString& name);
// What the export dialog offers: "FLAC (lossless)" and so on.
QString ExportFormatCaption(TExportFormat format);
