#include "export/ExportFormat.h"

QString ExportExtension(TExportFormat format) {
  switch (format) {
    case TExportFormat::kFlac:
      return QStringLiteral("flac");
    case TExportFormat::kOpus:
      return QStringLiteral("opus");
    case TExportFormat::kWav:
      return QStringLiteral("wav");
  }
  return {};
}

std::optional<TExportFormat> ExportFormatFromName(const QString& name) {
  for (const TExportFormat f : kExportFormats) {
    if (name.compare(ExportExtension(f), Qt::CaseInsensitive) == 0) {
      return f;
    }
  }
  return std::nullopt;
}

QString ExportFormatCaption(TExportFormat format) {
  switch (format) {
    case TExportFormat::kFlac:
      return QStringLiteral("FLAC (lossless)");
    case TExportFormat::kOpus:
      return QStringLiteral("Ogg Opus (speech, %1 kbit/s)").arg(kOpusBitrate / 1000);
    case TExportFormat::kWav:
      return QStringLiteral("WAV 16-bit PCM");
  }
  return {};
}
