#include "PowerCutLog.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <algorithm>

namespace {
constexpr int kMaxDepth = 16;  // a folder inside itself would never end

QByteArray Unescape(const QByteArray& text) {
  return QByteArray::fromPercentEncoding(text);
}

QByteArray ReadAll(const QString& path, bool* ok) {
  QFile f(path);
  *ok = f.open(QIODevice::ReadOnly);
  return *ok ? f.readAll() : QByteArray();
}
}  // namespace

bool TPowerCutLog::Load(const QString& logFolder, QString* error) {
  folder_ = logFolder;
  events_.clear();
  rootId_.clear();
  bool ok = false;
  const QByteArray text = ReadAll(QDir(logFolder).filePath(QStringLiteral("events")), &ok);
  if (!ok) {
    *error = QStringLiteral("no events in ") + logFolder;
    return false;
  }
  for (const QByteArray& line : text.split('\n')) {
    const QList<QByteArray> f = line.split(' ');
    if (line.isEmpty()) continue;
    if (f.size() == 3 && f[1] == "R") {
      rootId_ = f[2].toStdString();
      continue;
    }
    if (f.size() != 4 || (f[1] != "F" && f[1] != "D")) {
      *error = QStringLiteral("damaged event: ") + QString::fromLatin1(line);
      return false;
    }
    events_.push_back({f[0].toLongLong(), f[1][0], f[2].toStdString(), QString::fromLatin1(f[3])});
  }
  if (rootId_.empty() || events_.empty()) {
    *error = QStringLiteral("the log has no initial folder");
    return false;
  }
  // Lines of several threads or processes may come a little out of time order.
  std::stable_sort(events_.begin(), events_.end(),
                   [](const TEvent& a, const TEvent& b) { return a.ns < b.ns; });
  return true;
}

std::vector<int64_t> TPowerCutLog::SyncTimes() const {
  std::vector<int64_t> times;
  for (const TEvent& e : events_) {
    if (e.ns != StartNs() && (times.empty() || times.back() != e.ns)) times.push_back(e.ns);
  }
  return times;
}

bool TPowerCutLog::Rebuild(int64_t cutNs, const QString& target, QString* error) const {
  TLatest files, dirs;
  for (const TEvent& e : events_) {
    if (e.ns > cutNs) break;
    (e.kind == 'F' ? files : dirs)[e.id] = &e;
  }
  return BuildDir(rootId_, target, files, dirs, 0, error);
}

bool TPowerCutLog::BuildDir(const std::string& id, const QString& path, const TLatest& files,
                            const TLatest& dirs, int depth, QString* error) const {
  const auto table = dirs.find(id);
  if (table == dirs.end()) return true;  // never synced: no name in it is durable
  bool ok = false;
  const QByteArray listing = ReadAll(QDir(folder_).filePath(table->second->snapshot), &ok);
  if (!ok || depth > kMaxDepth) {
    *error = QStringLiteral("cannot rebuild ") + path;
    return false;
  }
  for (const QByteArray& line : listing.split('\n')) {
    const QList<QByteArray> f = line.split(' ');
    if (f.size() < 4) continue;
    const char type = f[0][0];
    const std::string entryId = f[1].toStdString();
    const uint bits = f[2].toUInt(nullptr, 8);
    const QString entry = QDir(path).filePath(QString::fromLocal8Bit(Unescape(f[3])));
    const QByteArray name = QFile::encodeName(entry);
    if (type == 'd') {
      if (!QDir().mkdir(entry) || !BuildDir(entryId, entry, files, dirs, depth + 1, error)) {
        if (error->isEmpty()) *error = QStringLiteral("cannot make ") + entry;
        return false;
      }
    } else if (type == 'l') {
      if (f.size() < 5 || ::symlink(Unescape(f[4]).constData(), name.constData()) != 0) {
        *error = QStringLiteral("cannot link ") + entry;
        return false;
      }
      continue;
    } else {
      QByteArray content;
      if (const auto synced = files.find(entryId); synced != files.end()) {
        content = ReadAll(QDir(folder_).filePath(synced->second->snapshot), &ok);
        if (!ok) {
          *error = QStringLiteral("snapshot missing for ") + entry;
          return false;
        }
      }
      QFile out(entry);
      if (!out.open(QIODevice::WriteOnly) || out.write(content) != content.size()) {
        *error = QStringLiteral("cannot write ") + entry;
        return false;
      }
    }
    if (::chmod(name.constData(), bits) != 0) {
      *error = QStringLiteral("cannot set the mode of ") + entry;
      return false;
    }
  }
  return true;
}
