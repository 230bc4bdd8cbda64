// The unit's end of the line: a pseudo-terminal whose master side the unit
// talks on, and a symbolic link DIR/comN to its slave side, which the tool
// (or Wine, in a dosdevices folder) opens as COM N; or a link of another
// name, such as DIR/ttyUSB0 in a device folder.
//
// The unit keeps a slave fd of its own open for its whole life: the master
// then never reads EIO while the tool closes and re-opens the port, and the
// line settings the tool applies can be read back on it.
#ifndef UNIT_SIM_PTY_LINK_H
#define UNIT_SIM_PTY_LINK_H

#include <string>

class PtyLink {
public:
    PtyLink() = default;
    PtyLink(const PtyLink &) = delete;
    PtyLink &operator=(const PtyLink &) = delete;
    ~PtyLink() { close(); }

    // Creates the pty (slave raw, master non-blocking) and the link,
    // replacing a stale link of the same name. On failure: false, `error`.
    bool open(const std::string &dir, const std::string &name, std::string &error);
    // Takes an existing terminal as the unit's end instead: raw, at `baud`,
    // which the line then always reports, since such a terminal carries no
    // settings from the far end. No link is made.
    bool attach(const std::string &path, int baud, std::string &error);
    // Closes every fd and removes the link if it still points at this pty.
    void close();

    int master() const { return master_; }
    const std::string &slavePath() const { return slavePath_; }
    const std::string &linkPath() const { return linkPath_; }
    // The output rate the tool set the line to; 0 when it is none we know.
    int lineRate() const;
    // Bytes the unit sent that nobody has read off the slave yet.
    int unread() const;

    // Whether a termios line can be set to `baud`.
    static bool isLineRate(int baud);

private:
    int master_ = -1;
    int slave_ = -1;
    bool attached_ = false;
    std::string slavePath_;
    std::string linkPath_;
};

#endif
