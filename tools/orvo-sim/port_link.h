#pragma once

#include <QString>

// The link COM<n> in the ports directory that makes the simulator's terminal reachable by port
// number. It is removed when this object goes, unless something else has taken its place.
class PortLink {
public:
    PortLink() = default;
    ~PortLink();
    PortLink(const PortLink &) = delete;
    PortLink &operator=(const PortLink &) = delete;

    // A stale link (its device gone, or already ours) is replaced; anything else is left alone
    // and reported, since it may be the user's link to a real adapter.
    bool create(int portNumber, const QString &devicePath, QString *error);
    QString path() const { return path_; }

private:
    QString path_;
    QString target_;
};
