#pragma once
// The log the power-cut seam (tests/fault/PowerCut.c) wrote while the program ran, and
// the program's folder as a power cut at any moment of the run would have left it.
#include <QString>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

class TPowerCutLog {
 public:
  // Reads the events of the log folder. False with *error when there are none or they
  // cannot be read.
  bool Load(const QString& logFolder, QString* error);

  // When the folder was first found (it is durable as it was then), and the moments the
  // syncs returned, in order (CLOCK_MONOTONIC, ns).
  int64_t StartNs() const { return events_.front().ns; }
  std::vector<int64_t> SyncTimes() const;

  // Fills the empty folder `target` with the modelled folder as durable at `cutNs`:
  // each folder with the names it had at its last sync, each file with the content of
  // its last sync (empty when it was never synced). False with *error on a file error.
  bool Rebuild(int64_t cutNs, const QString& target, QString* error) const;

 private:
  struct TEvent {
    int64_t ns = 0;
    char kind = 0;  // 'F' content of a file, 'D' entries of a directory
    std::string id;
    QString snapshot;  // the file of the log that holds it
  };
  using TLatest = std::map<std::string, const TEvent*>;  // by id: the last sync before the cut
  bool BuildDir(const std::string& id, const QString& path, const TLatest& files,
                const TLatest& dirs, int depth, QString* error) const;

  QString folder_;
  std::string rootId_;
  std::vector<TEvent> events_;  // by time; the initial snapshot first
};
