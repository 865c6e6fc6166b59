#pragma once
// The tool bar pictures, drawn in code.
#include <QIcon>

enum class TToolIcon {
  Play,
  Pause,
  Stop,
  Rewind,
  FastForward,
  Record,
  First,
  Previous,
  Next,
  Last,
  Delete
};

QIcon MakeToolIcon(TToolIcon kind, int size);
