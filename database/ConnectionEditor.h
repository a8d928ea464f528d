#pragma once

#include <QGroupBox>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

// The connection to the work-records database as fields: an SQLite file, or a PostgreSQL
// server with its port, database, user and password. Reads and writes the connection
// string the store keeps; anything else in it (other items) is left out of the fields.
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

    QComboBox* providerBox_;
    QLineEdit* fileEdit_;
    QLineEdit* hostEdit_;
    QSpinBox* portBox_;
    QLineEdit* catalogEdit_;
    QLineEdit* userEdit_;
    QLineEdit* passwordEdit_;
    QList<QWidget*> fileFields_, serverFields_;
    QPushButton* testButton_;
    QPushButton* applyButton_;
};
