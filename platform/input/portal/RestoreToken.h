#pragma once

// RestoreToken: the permission to share the screen that the desktop's
// portal gave, kept in the user's settings folder ("Zimbrel2 Screen
// Sharing", the token and a newline), so that later starts ask nothing.
//
// The file is read back through BoundedFile: a FIFO, a folder or a link to
// a device in its place is refused without waiting or reading without end.
// A file that holds no token, and a token the desktop refuses, are said on
// standard error and removed, so that the next try asks the desktop afresh
// instead of failing the same way at every start.
//
// Thread rules: any one thread at a time (the portal's).

#include <cstddef>
#include <string>

class RestoreToken {
public:
    // Where the token is kept.
    static std::string Path();

    // The token in the bytes of its file: one line of printable ASCII
    // without spaces, as portals make them, with or without its newline.
    // False with `why` (a clause: "it holds ...") when the bytes are none.
    static bool Parse(const char* data, size_t size, std::string* token, std::string* why);

    // The kept token, or "" when there is none or it was dropped.
    static std::string Load();
    // Keeps `token` for the next start; a failure is said.
    static void Save(const std::string& token);
    // Removes the kept token, saying `why` it goes.
    static void Drop(const std::string& why);
};
