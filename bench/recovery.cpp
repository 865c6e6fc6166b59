// Recovery of a long recording journal and the cost of journaling a chunk.
//   recovery_1h_journal_ms: a journal of one hour at 8000/s turned into a WAV and a call
//   journal_append_us_per_chunk: one received chunk of 160 bytes written to the journal
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>

#include "calls/RecordingRecovery.h"
#include "sound/RecordingFiles.h"
#include "recording/RecordingJournal.h"

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QTemporaryDir dir;
  QDir::setCurrent(dir.path());
  QString error;
  if (!EnsureWavFolder(&error)) return 1;

  constexpr int kChunk = 160, kChunks = 20000;
  const QByteArray chunk(kChunk, '\x80');
  {
    TRecordingJournal journal;
    journal.Start(8000, &error);
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < kChunks; ++i) journal.Append(chunk);
    std::printf("journal_append_us_per_chunk: %.2f\n", double(t.nsecsElapsed()) / 1000.0 / kChunks);
    journal.Discard();
  }

  TJournalHeader h{8000, 1700000000000, 12345};
  QFile f(QStringLiteral("wav/0000000000003039.journal"));
  if (!f.open(QIODevice::WriteOnly)) return 1;
  f.write(EncodeJournalHeader(h));
  const QByteArray second(8000, '\x81');
  for (int s = 0; s < 3600; ++s) f.write(second);
  f.close();
  QElapsedTimer t;
  t.start();
  const QStringList lines = RecoverRecordings();
  std::printf("recovery_1h_journal_ms: %lld\n", static_cast<long long>(t.elapsed()));
  return lines.size() == 1 && lines[0].contains(QStringLiteral("recovered")) ? 0 : 1;
}
