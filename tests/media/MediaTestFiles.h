// Short media files made with ffmpeg for the media import tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "support/TestSupport.h"

namespace mediatest {

// Runs ffmpeg with `args` writing `out`; true when it succeeded.
inline bool MakeMedia(const std::string& args, const std::string& out)
{
    auto r = testsupport::Run("ffmpeg -nostdin -v error -y " + args + " " + testsupport::Quote(out));
    if (r.exitCode != 0) ADD_FAILURE() << "ffmpeg failed for " << out << ": " << r.err;
    return r.exitCode == 0;
}

// Points the state folder (graph.txt) at a temporary folder for the life of a test.
class StateFolderScope {
public:
    explicit StateFolderScope(const std::string& folder)
    {
        const char* old = std::getenv("XDG_STATE_HOME");
        hadOld = old != nullptr;
        if (old) previous = old;
        setenv("XDG_STATE_HOME", folder.c_str(), 1);
    }
    ~StateFolderScope()
    {
        if (hadOld)
            setenv("XDG_STATE_HOME", previous.c_str(), 1);
        else
            unsetenv("XDG_STATE_HOME");
    }

private:
    bool hadOld = false;
    std::string previous;
};

}  // namespace mediatest
