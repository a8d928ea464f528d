#include "desktop/About.h"

#include "platform/Error.h"
#include "platform/Services.h"
#include "platform/Shell.h"

#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

using namespace platform;

namespace {
QLabel* link(const char* name, const QString& text) {
    auto* label = new QLabel(text);
    label->setObjectName(QLatin1String(name));
    QFont font = label->font();
    font.setUnderline(true);
    label->setFont(font);
    label->setStyleSheet(QStringLiteral("color: blue"));
    label->setCursor(Qt::PointingHandCursor);
    return label;
}
} // namespace

TForm3::TForm3(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("About"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setModal(false);
    Image1 = new QLabel;
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setPixmap(QIcon(QStringLiteral(":/icons/korvan.png")).pixmap(32, 32));
    StaticText1 = new QLabel(QStringLiteral("Korvan"));
    StaticText1->setObjectName(QStringLiteral("StaticText1"));
    QFont big = StaticText1->font();
    big.setBold(true);
    big.setPointSizeF(big.pointSizeF() * 1.6);
    StaticText1->setFont(big);
    StaticText1->setStyleSheet(QStringLiteral("color: navy"));
    StaticText2 = new QLabel(QStringLiteral("Version 1.3"));
    StaticText2->setObjectName(QStringLiteral("StaticText2"));
    StaticText3 = new QLabel(makerNotice());
    StaticText3->setObjectName(QStringLiteral("StaticText3"));
    Label4 = link("Label4", contactAddress());
    StaticText5 = link("StaticText5", webAddress());
    Label4->installEventFilter(this);
    StaticText5->installEventFilter(this);
    Button1 = new QPushButton(QStringLiteral("&OK"));
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setDefault(true);
    connect(Button1, &QPushButton::clicked, this, &QDialog::hide);

    auto* bevel = new QFrame;
    bevel->setObjectName(QStringLiteral("Bevel1"));
    bevel->setFrameShape(QFrame::StyledPanel);
    auto* texts = new QVBoxLayout;
    for (QWidget* w : {static_cast<QWidget*>(StaticText1), static_cast<QWidget*>(StaticText2),
                       static_cast<QWidget*>(StaticText3), static_cast<QWidget*>(StaticText5),
                       static_cast<QWidget*>(Label4)})
        texts->addWidget(w);
    auto* inner = new QHBoxLayout(bevel);
    inner->addWidget(Image1, 0, Qt::AlignTop);
    inner->addLayout(texts, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Button1);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(bevel);
    layout->addLayout(buttons);
    guarded([this] { FormCreate(); });
}

void TForm3::showEvent(QShowEvent* event) {
    // Measured when first shown, not at start-up: text metrics load the fonts.
    if (!sized_) {
        setFixedSize(sizeHint());
        sized_ = true;
    }
    QDialog::showEvent(event);
}

TForm3::~TForm3() {}

void TForm3::FormCreate() {
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
                StaticText2->setText(QStringLiteral("Version ") +
                                     table->value(QStringLiteral("FileVersion")));
        }
    }
    StaticText5->show();
    Label4->hide();
}

void TForm3::Label4Click() {
    if (services().shell)
        services().shell->open(QStringLiteral("mailto:") + contactAddress());
}

void TForm3::StaticText5Click() {
    if (services().shell)
        services().shell->open(webAddress());
}

bool TForm3::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease) {
        if (watched == StaticText5)
            guarded([this] { StaticText5Click(); });
        else if (watched == Label4)
            guarded([this] { Label4Click(); });
    }
    return QDialog::eventFilter(watched, event);
}
