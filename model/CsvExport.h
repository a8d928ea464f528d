#pragma once

#include <QString>

class QIODevice;
class RecordBrowser;

// The records the browser shows as a file a spreadsheet reads: a head line, then one line
// per record in the order shown, each field in double quotes and followed by ";", each line
// ended by CR LF; dates and hours in the locale's notation; the system's encoding. Records of
// more than one person (a team's) say whose each is in a last field, "Person".
class CsvExport {
public:
    // Rows written to the file at once: a few hundred kilobytes of text. The rows come from
    // one statement read forward only, so the file is all that grows with their number.
    static constexpr int batchRows = 5000;

    // Appends the text as a field: in double quotes, its quotes doubled. Every field of
    // the file is written so; separators and line breaks inside stay as they are.
    static void appendField(QString& line, const QString& text);

    // Writes the head and every record the browser shows, read afresh in the order shown, a
    // batch at a time, so that a million records never sit in memory at once. False as soon
    // as a write fails: the rest is skipped.
    static bool write(QIODevice& out, const RecordBrowser& browser);
};
