#pragma once

#include <QString>

// Connection-string helpers and the small conversions the booking uses.

// Scrambles the password segment (after the first "Password=" up to the next ";") by XOR
// with 0xA7. Its own inverse.
QString scramblePassword(const QString& connection);

// True when the string comes back unchanged from being scrambled and read back, so that
// storing it scrambled loses nothing.
bool passwordSurvivesScrambling(const QString& connection);
// The connection as the store keeps it: a password that is the last item gets a closing
// ";" (two, as a single final ";" does not end a password) so that it is scrambled like any
// other instead of standing in clear.
QString connectionForStore(const QString& connection);

// The database a connection reaches, as a connection string that names it and nothing else
// (no user, no password): the engine and the file, or the server, its port and the
// database. Connections to one database give the same text, however they are written.
QString databaseIdentity(const QString& connection);

// Replaces the first "$APPDIR$" (any letter case) by the program folder and the first
// "$DATADIR$" by the per-user data folder, both with their trailing separator.
QString replacePlaceholders(const QString& connection, const QString& programFolder,
                            const QString& dataFolder);

// value in fixed notation with the locale's decimal separator, halves away from zero.
QString floatToLocaleStr(int decimals, float value);

extern const char* const kDefaultConnectionString;

namespace platform {
class DbCommand;
}

// The longest description a work record takes.
constexpr int kDescriptionLimit = 1000;

// Gives the command the work-record insert and its eight declared parameters: who booked
// ("kdo", written to Vytvoril) is "system" unless set.
void declareWorkRecordInsert(platform::DbCommand& command);

// Puts every parameter's declared type and direction back before the next record.
void refreshParameterTypes(platform::DbCommand& command);
