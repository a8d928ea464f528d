#pragma once

#include <QGroupBox>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

// The connection to the work-records database as fields: an SQLite file, or a PostgreSQL
// server with its port, database, user, password (or ~/.pgpass) and TLS mode. Reads and
// writes the connection string the store keeps; anything else in it (other items, but for
// the SSL Root Cert) is left out of the fields.
class ConnectionEditor : public QGroupBox {
    Q_OBJECT
public:
    explicit ConnectionEditor(QWidget* parent = nullptr);

    void setConnection(const QString& connection);
    // The connection string for what the fields say; the password comes last.
    QString connection() const;

    QPushButton* testButton() const { return testButton_; }
    QPushButton* applyButton() const { return applyButton_; }

private:
    void showProvider();
    void showPasswordFile();

    QComboBox* providerBox_;
    QLineEdit* fileEdit_;
    QLineEdit* hostEdit_;
    QSpinBox* portBox_;
    QLineEdit* catalogEdit_;
    QLineEdit* userEdit_;
    QLineEdit* passwordEdit_;
    QCheckBox* pgpassBox_;
    QComboBox* tlsBox_;
    // Kept as read: typed by hand, it has no field.
    QString rootCert_;
    QList<QWidget*> fileFields_, serverFields_;
    QPushButton* testButton_;
    QPushButton* applyButton_;
};
