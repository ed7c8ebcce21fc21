// A program on the generic frame, for tests of what the frame finds at start-up. Its OnStart
// writes two lines to the file named by the command line: the frame's `directory` and the
// command line itself; then it ends the message loop. OnExit gives 3, the exit code.

#include "GsAppFrame.h"

#include <cstdio>
#include <string>

namespace
{

constexpr int PROBE_EXIT_CODE = 3;

class CProbeFrame : public CGsAppFrame
{
public:
    int OnStart() override
    {
        const std::string target = commandLine != nullptr ? commandLine : "";
        if (std::FILE* out = std::fopen(target.c_str(), "wb"))
        {
            std::fprintf(out, "%s\n%s\n", directory, commandLine);
            std::fclose(out);
        }
        PostQuitMessage(0);
        return 1;
    }
    int OnExit() override { return PROBE_EXIT_CODE; }
};

} // namespace

CProbeFrame g_ProbeFrame;

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showCommand)
{
    return g_pAppFrame->Run(instance, previous, commandLine, showCommand);
}
