#include "database/ConnectionEditor.h"

#include "platform/ConnectionString.h"
#include "widgets/Named.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

using platform::ConnectionString;
using platform::quoteConnectionValue;

namespace {
constexpr int kPostgresPort = 5432;
enum Provider { SQLiteFile = 0, PostgreSQLServer = 1 };
// The default, Required and Verified; a mode typed by hand follows them.
constexpr int kTlsChoices = 3;

} // namespace

ConnectionEditor::ConnectionEditor(QWidget* parent)
    : QGroupBox(QStringLiteral(" Connection "), parent) {
    setObjectName(QStringLiteral("ConnectionBox"));
    providerBox_ = named(new QComboBox, "ProviderBox");
    providerBox_->addItems({QStringLiteral("SQLite file"), QStringLiteral("PostgreSQL server")});
    fileEdit_ = named(new QLineEdit, "FileEdit");
    hostEdit_ = named(new QLineEdit, "HostEdit");
    portBox_ = named(new QSpinBox, "PortBox");
    portBox_->setRange(1, 65535);
    portBox_->setValue(kPostgresPort);
    catalogEdit_ = named(new QLineEdit, "CatalogEdit");
    userEdit_ = named(new QLineEdit, "UserEdit");
    passwordEdit_ = named(new QLineEdit, "PasswordEdit");
    passwordEdit_->setEchoMode(QLineEdit::Password);
    pgpassBox_ =
        named(new QCheckBox(QStringLiteral("Take the password from ~/.&pgpass")), "PgpassBox");
    tlsBox_ = named(new QComboBox, "TlsBox");
    // The value is the SSL Mode item; other modes typed by hand join the list when read.
    // Nothing chosen is libpq's own default, which uses TLS where the server offers it.
    tlsBox_->addItem(QStringLiteral("If the server offers it"), QString());
    tlsBox_->addItem(QStringLiteral("Required"), QStringLiteral("require"));
    tlsBox_->addItem(QStringLiteral("Verified (verify-full)"), QStringLiteral("verify-full"));
    testButton_ = named(new QPushButton(QStringLiteral("&Test connection")), "TestButton");
    applyButton_ = named(new QPushButton(QStringLiteral("&Apply")), "ApplyButton");
    for (QPushButton* b : {testButton_, applyButton_})
        b->setAutoDefault(false);

    auto* form = new QFormLayout;
    const auto row = [form](const QString& text, QWidget* field) {
        auto* label = new QLabel(text);
        label->setBuddy(field);
        form->addRow(label, field);
        return QList<QWidget*>{label, field};
    };
    row(QStringLiteral("&Kind:"), providerBox_);
    fileFields_ = row(QStringLiteral("&File:"), fileEdit_);
    for (const auto& [text, field] : std::initializer_list<std::pair<QString, QWidget*>>{
             {QStringLiteral("&Host:"), hostEdit_},
             {QStringLiteral("P&ort:"), portBox_},
             {QStringLiteral("Data&base:"), catalogEdit_},
             {QStringLiteral("&User:"), userEdit_},
             {QStringLiteral("Pass&word:"), passwordEdit_}})
        serverFields_ << row(text, field);
    form->addRow(QString(), pgpassBox_);
    serverFields_ << pgpassBox_ << row(QStringLiteral("TLS &mode:"), tlsBox_);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(testButton_);
    buttons->addWidget(applyButton_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);
    connect(providerBox_, &QComboBox::currentIndexChanged, this, [this] { showProvider(); });
    connect(pgpassBox_, &QCheckBox::toggled, this, [this] { showPasswordFile(); });
    showProvider();
}

void ConnectionEditor::showProvider() {
    const bool server = providerBox_->currentIndex() == PostgreSQLServer;
    for (QWidget* w : fileFields_)
        w->setVisible(!server);
    for (QWidget* w : serverFields_)
        w->setVisible(server);
}

void ConnectionEditor::showPasswordFile() {
    // Nothing typed stays behind where it would be stored after all.
    if (pgpassBox_->isChecked())
        passwordEdit_->clear();
    passwordEdit_->setEnabled(!pgpassBox_->isChecked());
}

void ConnectionEditor::setConnection(const QString& connection) {
    const ConnectionString cs = ConnectionString::parse(connection);
    const bool server = cs.value(QStringLiteral("Provider"))
                            .compare(QLatin1String("PostgreSQL"), Qt::CaseInsensitive) == 0;
    providerBox_->setCurrentIndex(server ? PostgreSQLServer : SQLiteFile);
    const QString source = cs.value(QStringLiteral("Data Source"));
    fileEdit_->setText(server ? QString() : source);
    const int colon = source.lastIndexOf(QLatin1Char(':'));
    hostEdit_->setText(server ? (colon > 0 ? source.left(colon) : source) : QString());
    portBox_->setValue(server && colon > 0 ? source.mid(colon + 1).toInt() : kPostgresPort);
    catalogEdit_->setText(cs.value(QStringLiteral("Initial Catalog")));
    userEdit_->setText(cs.value(QStringLiteral("User ID")));
    passwordEdit_->setText(cs.value(QStringLiteral("Password")));
    pgpassBox_->setChecked(platform::passwordFromFile(cs));
    showPasswordFile();
    const QString mode = cs.value(QStringLiteral("SSL Mode")).trimmed();
    while (tlsBox_->count() > kTlsChoices)
        tlsBox_->removeItem(kTlsChoices);
    int at = tlsBox_->findData(mode.toLower());
    if (at < 0) {
        tlsBox_->addItem(mode, mode);
        at = tlsBox_->count() - 1;
    }
    tlsBox_->setCurrentIndex(at);
    rootCert_ = cs.value(QStringLiteral("SSL Root Cert"));
}

QString ConnectionEditor::connection() const {
    const auto item = [](const char* name, const QString& value) {
        return QLatin1String(name) + QLatin1Char('=') + quoteConnectionValue(value);
    };
    if (providerBox_->currentIndex() == SQLiteFile)
        return QStringList{item("Provider", QStringLiteral("SQLite")),
                           item("Data Source", fileEdit_->text().trimmed())}
            .join(QLatin1Char(';'));
    QStringList items{item("Provider", QStringLiteral("PostgreSQL")),
                      item("Data Source", hostEdit_->text().trimmed() + QLatin1Char(':') +
                                              QString::number(portBox_->value())),
                      item("Initial Catalog", catalogEdit_->text().trimmed()),
                      item("User ID", userEdit_->text().trimmed())};
    if (const QString mode = tlsBox_->currentData().toString(); !mode.isEmpty())
        items << item("SSL Mode", mode);
    if (!rootCert_.isEmpty())
        items << item("SSL Root Cert", rootCert_);
    // Last, where the store's scrambling covers all of it.
    if (pgpassBox_->isChecked())
        items << item("Password File", QStringLiteral("yes"));
    else if (!passwordEdit_->text().isEmpty())
        items << item("Password", passwordEdit_->text());
    return items.join(QLatin1Char(';'));
}
