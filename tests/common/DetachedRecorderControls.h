#pragma once
// The recorder's controls with the main window's settings, made as children of a plain
// widget, so that the recorder can be driven without the main window (tests, benchmarks).
#include <QAction>
#include <QLabel>
#include <QSlider>
#include <QSpinBox>
#include <QTimer>
#include <QToolButton>
#include <QWidget>

#include "recording/RecorderControls.h"

inline TRecorderControls MakeDetachedRecorderControls(QWidget& owner) {
  auto button = [&owner](bool checkable) {
    auto* b = new QToolButton(&owner);
    b->setCheckable(checkable);
    return b;
  };
  auto action = [&owner](bool checkable = false) {
    auto* a = new QAction(&owner);
    a->setCheckable(checkable);
    return a;
  };
  TRecorderControls c;
  c.Playsb1 = button(true);
  c.PauseSb1 = button(true);
  c.StopSb1 = button(false);
  c.PrevSb1 = button(false);
  c.NextSb1 = button(false);
  c.RecSb1 = button(true);
  c.Play1 = action();
  c.Pause1 = action();
  c.Stop1 = action();
  c.Previous1 = action();
  c.Next1 = action();
  c.Record1 = action();
  c.On1 = action(true);
  c.Off1 = action(true);
  c.Comment1 = action();
  c.Delete1 = action();
  c.TrackBar1 = new QSlider(Qt::Horizontal, &owner);
  c.TrackBar1->setRange(0, 100);
  c.Label10 = new QLabel(&owner);
  c.SpinEdit1 = new QSpinBox(&owner);
  c.SpinEdit1->setRange(100, 2000);
  c.SpinEdit1->setSingleStep(100);
  c.SpinEdit1->setValue(1600);
  c.Timer2 = new QTimer(&owner);
  c.Timer2->setInterval(100);
  return c;
}
