#pragma once
// What a day of calls must never lose, checked on a folder of the program after a cut, a
// kill or any step: the rows of the call list and the files of its "wav" folder against
// the calls the virtual modem streamed to the program.
//
// The program records every byte the modem sends after "at+vrx" as one sample, so a
// recording of a call is a prefix of what the modem sent in that call's stream. Each
// stream of a modem with varied calls sounds different, so a WAV file tells which call
// it holds.
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "calls/CallRecord.h"

// Samples the program has had for longer than this before a cut must have survived it.
inline constexpr int64_t kRecentSamplesMs = 1000;
// The journal syncs once the interval is over, with the next chunk that comes (chunks
// come some 20 ms apart), and a sync takes its time on a busy disk: the moment a sample
// is owed is taken this much later still.
inline constexpr int64_t kSyncAllowanceMs = 250;

// A call as the modem streamed it to the program.
struct THeardCall {
  std::string sent;  // what the modem sent in the stream: the samples to be recorded
  // When it went out: (CLOCK_MONOTONIC ns, bytes of `sent` out by then), in order.
  std::vector<std::pair<int64_t, size_t>> marks;
  // The samples of the WAV file Stop saved it as, once the test has seen the file.
  std::optional<size_t> savedLength;
  // When the user confirmed the Delete of its row; the call is owed no more from then on.
  std::optional<int64_t> deletedNs;
  // When the program was killed in the middle of it: what the modem sent later reached
  // no one, so the call is owed as it was then.
  std::optional<int64_t> killedNs;
  // Bytes of `sent` out by the moment `ns`.
  size_t SentBy(int64_t ns) const;
};

struct TCallCheck {
  QString folder;  // the program's folder: Calls.dbt and "wav" are in it
  std::vector<TCallRecord> rows;
  std::vector<THeardCall> calls;
  int64_t cutNs = 0;          // when the program was cut off (or the moment of the check)
  bool insideDelete = false;  // the cut came during a Delete: its WAV may outlive its row
  bool journalsLeft = false;  // journals may be there (a program is recording right now)
};

// The violations found, one line each; none when all holds:
//   - every row's WAV file exists and is a WAV file;
//   - every sample older than kRecentSamplesMs before the cut is in a WAV file with a row;
//   - no call appears twice (no file name twice, no recording in two rows);
//   - no WAV file outside the list, except after a cut inside a Delete;
//   - no recording journal left, unless allowed.
QStringList CheckCalls(const TCallCheck& check);

// The calls whose stream begins with these samples (several when too few to tell);
// none for no samples.
std::vector<size_t> CallsOfSamples(const QByteArray& samples, const std::vector<THeardCall>& calls);
// The samples of a WAV file of the program; nothing when it is missing or no whole 8-bit
// mono WAV file.
std::optional<QByteArray> SamplesOfWav(const QString& path);

// The rows a start would show from the files alone: Calls.dbt and the calls waiting in
// Calls.dbt.new, merged as the program merges them. Nothing when they cannot be read.
std::optional<std::vector<TCallRecord>> RowsOnDisk(const QString& folder, QString* error);

// The WAV and journal files of the folder's "wav", by name.
QStringList FilesOfWavFolder(const QString& folder, const QString& pattern);
