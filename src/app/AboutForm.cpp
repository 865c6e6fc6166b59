#include "app/AboutForm.h"

#include <QFont>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/AppInfo.h"

namespace {
const QString kHomePage = QStringLiteral("https://tavrin.example.org/");
const QString kMail = QStringLiteral("support@tavrin.example.org");

QLabel* Link(QWidget* parent, const QString& name, const QString& href, const QString& text) {
  auto* label = new QLabel(QStringLiteral("<a href=\"%1\">%2</a>").arg(href, text), parent);
  label->setObjectName(name);
  label->setTextFormat(Qt::RichText);
  label->setTextInteractionFlags(Qt::TextBrowserInteraction);
  label->setOpenExternalLinks(true);
  label->setAlignment(Qt::AlignCenter);
  return label;
}
}  // namespace

TAboutForm::TAboutForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
  setObjectName(QStringLiteral("AboutForm"));
  setWindowTitle(QStringLiteral("About"));
  setModal(true);

  ProductName = new QLabel(QString::fromLatin1(kAppTitle), this);
  ProductName->setObjectName(QStringLiteral("ProductName"));
  QFont big = ProductName->font();
  big.setPointSizeF(big.pointSizeF() * 1.8);
  big.setBold(true);
  ProductName->setFont(big);
  ProductName->setAlignment(Qt::AlignCenter);

  auto* what = new QLabel(QStringLiteral("Telephone call recorder"), this);
  what->setAlignment(Qt::AlignCenter);
  Version = new QLabel(QStringLiteral("Version %1").arg(QString::fromLatin1(kAppVersion)), this);
  Version->setObjectName(QStringLiteral("Version"));
  Version->setAlignment(Qt::AlignCenter);
  HomeLink = Link(this, QStringLiteral("HomeLink"), kHomePage, kHomePage);
  MailLink = Link(this, QStringLiteral("MailLink"), QStringLiteral("mailto:") + kMail, kMail);

  OKButton = new QPushButton(QStringLiteral("Ok"), this);
  OKButton->setObjectName(QStringLiteral("OKButton"));
  OKButton->setDefault(true);
  connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(OKButton);
  buttons->addStretch();
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(24, 18, 24, 14);
  layout->addWidget(ProductName);
  layout->addWidget(what);
  layout->addWidget(Version);
  layout->addSpacing(10);
  layout->addWidget(HomeLink);
  layout->addWidget(MailLink);
  layout->addSpacing(10);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}
