#pragma once

#include <QString>
#include <stdexcept>

namespace platform {

// The program's errors travel as exceptions carrying the text the user is shown.
class Error : public std::runtime_error {
public:
    explicit Error(const QString& message)
        : std::runtime_error(message.toStdString()), message_(message) {}
    const QString& message() const { return message_; }

private:
    QString message_;
};

// The text of the general error report: a full stop is added when the last character
// sorts after "." (letters and digits), not after ".", "!" or ")".
QString errorReportText(const QString& message);

// Where the general error report goes: the windows' layer shows it in a box
// (widgets/MessageBox.h). This layer only hands the text on.
class ErrorReport {
public:
    virtual ~ErrorReport() = default;
    virtual void report(const QString& text) = 0;
};

// Hands errorReportText(message) to the report in use (services().errorReport); without
// one it goes to the log.
void reportError(const QString& message);

// Runs an event handler; an escaping exception becomes the general error report so that
// nothing crosses the event loop.
template <class F> void guarded(F&& handler) {
    try {
        handler();
    } catch (const Error& e) {
        reportError(e.message());
    } catch (const std::exception& e) {
        reportError(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        reportError(QStringLiteral("Unknown error"));
    }
}

} // namespace platform
