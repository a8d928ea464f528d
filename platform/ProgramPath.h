#pragma once

#include <QString>

namespace platform {

// Where the running program file is, and the per-user folders it keeps data in.
class ProgramPath {
public:
    virtual ~ProgramPath() = default;
    virtual QString programFile() const = 0;   // full path of the running program
    virtual QString programFolder() const = 0; // with its trailing separator
    virtual QString dataFolder() const = 0;    // per-user data, trailing separator, created
    virtual QString configFolder() const = 0;  // $XDG_CONFIG_HOME or ~/.config
};

class SystemProgramPath : public ProgramPath {
public:
    QString programFile() const override;
    QString programFolder() const override;
    QString dataFolder() const override;
    QString configFolder() const override;
};

} // namespace platform
