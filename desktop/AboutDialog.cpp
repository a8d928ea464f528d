#include "desktop/AboutDialog.h"

#include "platform/Error.h"
#include "platform/Services.h"
#include "platform/Shell.h"

#include <QEvent>
#include <QFocusEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

using namespace platform;

namespace {
// One link, one stop: Tab and Shift+Tab go on to the next control (a label would walk its
// links and, with one link, keep Shift+Tab in itself); reached, the link shows its focus
// frame, and Enter or Space opens it.
class LinkLabel : public QLabel {
public:
    using QLabel::QLabel;

protected:
    bool focusNextPrevChild(bool next) override {
        return QWidget::focusNextPrevChild(next); // NOLINT(bugprone-parent-virtual-call)
    }
    void focusInEvent(QFocusEvent* event) override {
        QLabel::focusInEvent(event);
        if (event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason)
            QLabel::focusNextPrevChild(true); // selects the link
    }
    void keyPressEvent(QKeyEvent* event) override {
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter ||
            event->key() == Qt::Key_Space) {
            Q_EMIT linkActivated(QString());
            return;
        }
        QLabel::keyPressEvent(event);
    }
};

// An address to open: a click anywhere on it, or Tab to it and Enter.
QLabel* link(const char* name, const QString& text) {
    auto* label =
        new LinkLabel(QStringLiteral("<a href=\"open\">%1</a>").arg(text.toHtmlEscaped()));
    label->setObjectName(QLatin1String(name));
    label->setTextFormat(Qt::RichText);
    label->setTextInteractionFlags(Qt::LinksAccessibleByKeyboard);
    label->setAccessibleName(text);
    label->setAccessibleDescription(QStringLiteral("Opens the address"));
    QFont font = label->font();
    font.setUnderline(true);
    label->setFont(font);
    label->setStyleSheet(QStringLiteral("color: blue"));
    label->setCursor(Qt::PointingHandCursor);
    return label;
}
} // namespace

AboutDialog::AboutDialog(QWidget* parent) : Deferred(parent) {
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("About"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setModal(false);
}

void AboutDialog::buildControls() {
    picture_ = new QLabel;
    picture_->setObjectName(QStringLiteral("Image1"));
    picture_->setPixmap(QIcon(QStringLiteral(":/icons/korvan.png")).pixmap(32, 32));
    nameLabel_ = new QLabel(QStringLiteral("Korvan"));
    nameLabel_->setObjectName(QStringLiteral("StaticText1"));
    QFont big = nameLabel_->font();
    big.setBold(true);
    big.setPointSizeF(big.pointSizeF() * 1.6);
    nameLabel_->setFont(big);
    nameLabel_->setStyleSheet(QStringLiteral("color: navy"));
    versionLabel_ = new QLabel(QStringLiteral("Version 1.3"));
    versionLabel_->setObjectName(QStringLiteral("StaticText2"));
    makerLabel_ = new QLabel(makerNotice());
    makerLabel_->setObjectName(QStringLiteral("StaticText3"));
    mailLabel_ = link("Label4", contactAddress());
    webLabel_ = link("StaticText5", webAddress());
    mailLabel_->installEventFilter(this);
    webLabel_->installEventFilter(this);
    connect(webLabel_, &QLabel::linkActivated, this, [this] { guarded([this] { webClicked(); }); });
    connect(mailLabel_, &QLabel::linkActivated, this,
            [this] { guarded([this] { mailClicked(); }); });
    okButton_ = new QPushButton(QStringLiteral("&OK"));
    okButton_->setObjectName(QStringLiteral("Button1"));
    okButton_->setDefault(true);
    connect(okButton_, &QPushButton::clicked, this, &QDialog::hide);

    auto* bevel = new QFrame;
    bevel->setObjectName(QStringLiteral("Bevel1"));
    bevel->setFrameShape(QFrame::StyledPanel);
    auto* texts = new QVBoxLayout;
    for (QWidget* w : {static_cast<QWidget*>(nameLabel_), static_cast<QWidget*>(versionLabel_),
                       static_cast<QWidget*>(makerLabel_), static_cast<QWidget*>(webLabel_),
                       static_cast<QWidget*>(mailLabel_)})
        texts->addWidget(w);
    auto* inner = new QHBoxLayout(bevel);
    inner->addWidget(picture_, 0, Qt::AlignTop);
    inner->addLayout(texts, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(okButton_);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(bevel);
    layout->addLayout(buttons);
    guarded([this] { setUp(); });
}

void AboutDialog::showEvent(QShowEvent* event) {
    // Measured when first shown, not at start-up: text metrics load the fonts.
    if (!sized_) {
        setFixedSize(sizeHint());
        sized_ = true;
    }
    // Enter or Space closes the box at once; Tab reaches the address.
    okButton_->setFocus();
    QDialog::showEvent(event);
}

AboutDialog::~AboutDialog() {}

void AboutDialog::setUp() {
    if (const VersionRecord* record =
            services().shell ? services().shell->versionRecord() : nullptr) {
        if (!record->translations.isEmpty()) {
            const auto [language, codePage] = record->translations.first();
            const QString key =
                QStringLiteral("%1")
                    .arg(static_cast<quint32>(language) * 65536 + codePage, 8, 16, QLatin1Char('0'))
                    .toUpper();
            const auto table = record->strings.constFind(key);
            if (table != record->strings.constEnd() &&
                table->contains(QStringLiteral("FileVersion")))
                versionLabel_->setText(QStringLiteral("Version ") +
                                       table->value(QStringLiteral("FileVersion")));
        }
    }
    webLabel_->show();
    mailLabel_->hide();
}

void AboutDialog::mailClicked() {
    if (services().shell)
        services().shell->open(QStringLiteral("mailto:") + contactAddress());
}

void AboutDialog::webClicked() {
    if (services().shell)
        services().shell->open(webAddress());
}

bool AboutDialog::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease) {
        if (watched == webLabel_)
            guarded([this] { webClicked(); });
        else if (watched == mailLabel_)
            guarded([this] { mailClicked(); });
    }
    return QDialog::eventFilter(watched, event);
}
