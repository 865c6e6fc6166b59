#pragma once
// Keeps a line edit's text within a number of stored bytes (UTF-8), so that what the
// user types is what is stored. Typing or pasting past the limit keeps as much of the
// new text as fits, in whole characters; an edit with no room at all is refused.
#include <QString>
#include <QValidator>

class TByteLimitValidator : public QValidator {
 public:
  TByteLimitValidator(qsizetype maxBytes, QObject* parent = nullptr)
      : QValidator(parent), maxBytes_(maxBytes) {}

  State validate(QString& input, int& pos) const override;

 private:
  qsizetype maxBytes_;
  mutable QString accepted_;  // the text as it was before the edit being validated
};
