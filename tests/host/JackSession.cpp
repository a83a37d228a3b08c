#include "JackSession.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <memory>
#include <sstream>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace quorvane::hosttest
{
namespace
{
using Clock = std::chrono::steady_clock;

void sleepMs (int ms) { std::this_thread::sleep_for (std::chrono::milliseconds (ms)); }

jack_client_t* openClient (const char* name)
{
    // JackNoStartServer: a missing server is an error here, never a reason to start a real one.
    jack_status_t status {};
    return jack_client_open (name, (jack_options_t) (JackNoStartServer | JackUseExactName), &status);
}

/** JACK prints every failed attempt to connect; polling for a server must stay quiet. */
void silentJackErrors (const char*) {}
} // namespace

//==============================================================================
ChildProgram::ChildProgram (const std::vector<std::string>& argv, const std::vector<std::string>& extraEnvironment)
{
    char logTemplate[] = "/tmp/quorvane-child-XXXXXX";
    const int logFd = mkstemp (logTemplate);
    int inPipe[2] = { -1, -1 };
    if (logFd < 0 || pipe (inPipe) != 0)
    {
        startError = "cannot create the log file or the input pipe";
        return;
    }
    logPath = logTemplate;

    std::vector<std::string> environment;
    for (char** e = environ; *e != nullptr; ++e)
        environment.emplace_back (*e);
    environment.insert (environment.end(), extraEnvironment.begin(), extraEnvironment.end());

    std::vector<char*> args, env;
    for (const auto& a : argv)
        args.push_back (const_cast<char*> (a.c_str()));
    args.push_back (nullptr);
    for (const auto& e : environment)
        env.push_back (const_cast<char*> (e.c_str()));
    env.push_back (nullptr);

    const pid_t parent = getpid();
    pid = fork();
    if (pid == 0)
    {
        prctl (PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent)
            _exit (127);
        dup2 (inPipe[0], 0);
        dup2 (logFd, 1);
        dup2 (logFd, 2);
        close (inPipe[0]);
        close (inPipe[1]);
        close (logFd);
        execvpe (args[0], args.data(), env.data());
        std::fprintf (stderr, "cannot run %s\n", args[0]);
        _exit (127);
    }

    close (inPipe[0]);
    close (logFd);
    stdinPipe = inPipe[1];
    fcntl (stdinPipe, F_SETFD, FD_CLOEXEC);
    if (pid < 0)
        startError = "fork failed";
}

ChildProgram::~ChildProgram()
{
    stop (0);
    if (! logPath.empty())
        unlink (logPath.c_str());
}

bool ChildProgram::isRunning()
{
    if (pid <= 0)
        return false;
    int status = 0;
    if (waitpid (pid, &status, WNOHANG) == pid)
    {
        pid = -1;
        return false;
    }
    return true;
}

bool ChildProgram::send (const std::string& text)
{
    if (stdinPipe < 0)
        return false;
    // A child that has gone would otherwise kill the test with SIGPIPE.
    std::signal (SIGPIPE, SIG_IGN);
    return write (stdinPipe, text.data(), text.size()) == (ssize_t) text.size();
}

std::string ChildProgram::output() const
{
    std::ifstream in (logPath);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void ChildProgram::stop (int timeoutMs)
{
    // End of input is how a console program is asked to finish.
    if (stdinPipe >= 0)
    {
        close (stdinPipe);
        stdinPipe = -1;
    }

    const auto deadline = Clock::now() + std::chrono::milliseconds (timeoutMs);
    while (isRunning() && Clock::now() < deadline)
        sleepMs (20);

    for (int signal : { SIGTERM, SIGKILL })
    {
        if (! isRunning())
            return;
        kill (pid, signal);
        const auto limit = Clock::now() + std::chrono::seconds (5);
        while (isRunning() && Clock::now() < limit)
            sleepMs (20);
    }
}

//==============================================================================
bool waitForPort (const std::string& portName, int timeoutMs)
{
    jack_client_t* probe = openClient ("quorvane-probe");
    if (probe == nullptr)
        return false;

    bool found = false;
    const auto deadline = Clock::now() + std::chrono::milliseconds (timeoutMs);
    while (! found && Clock::now() < deadline)
    {
        found = jack_port_by_name (probe, portName.c_str()) != nullptr;
        if (! found)
            sleepMs (50);
    }
    jack_client_close (probe);
    return found;
}

//==============================================================================
JackDummyServer::JackDummyServer (int sampleRate, int blockSize)
    : serverName ("quorvane-test-" + std::to_string (getpid()))
{
    // Every client of this process and its children (the host under test) finds this server.
    setenv ("JACK_DEFAULT_SERVER", serverName.c_str(), 1);
    // No device to reserve on the session bus: the dummy driver needs no sound card.
    setenv ("JACK_NO_AUDIO_RESERVATION", "1", 1);
    jack_set_error_function (silentJackErrors);
    jack_set_info_function (silentJackErrors);

    // A long client timeout: on a busy machine a non-real-time client may be slow to answer,
    // and the server must not throw it out of the graph for that.
    server = std::make_unique<ChildProgram> (
        std::vector<std::string> { "jackd", "--no-realtime", "--name", serverName, "--timeout", "10000",
                                   "-d", "dummy", "--rate", std::to_string (sampleRate),
                                   "--period", std::to_string (blockSize), "--capture", "2", "--playback", "2" },
        std::vector<std::string> {});

    if (! server->error().empty())
    {
        startError = server->error();
        return;
    }

    const auto deadline = Clock::now() + std::chrono::seconds (15);
    while (Clock::now() < deadline)
    {
        if (! server->isRunning())
        {
            startError = "jackd exited: " + server->output();
            return;
        }
        if (auto* client = openClient ("quorvane-probe"))
        {
            jack_client_close (client);
            return;
        }
        sleepMs (100);
    }
    startError = "jackd did not accept clients within 15 s: " + server->output();
}

JackDummyServer::~JackDummyServer()
{
    if (server != nullptr)
        server->stop (0);
    unsetenv ("JACK_DEFAULT_SERVER");
}

std::string JackDummyServer::log() const { return server != nullptr ? server->output() : std::string(); }

//==============================================================================
JackTap::JackTap()
{
    player = openClient ("quorvane-player");
    recorder = openClient ("quorvane-recorder");
    if (player == nullptr || recorder == nullptr)
    {
        tapError = "cannot open the player and recorder clients";
        return;
    }

    for (int c = 0; c < 2; ++c)
    {
        const auto suffix = std::to_string (c + 1);
        playerPorts[c] =
            jack_port_register (player, ("out_" + suffix).c_str(), JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
        recorderPorts[c] =
            jack_port_register (recorder, ("in_" + suffix).c_str(), JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    }

    jack_set_process_callback (player, playCallback, this);
    jack_set_process_callback (recorder, recordCallback, this);

    // Ports can only be connected once their clients are active.
    if (jack_activate (player) != 0 || jack_activate (recorder) != 0)
        tapError = "cannot activate the player and recorder clients";
}

JackTap::~JackTap()
{
    for (auto* client : { player, recorder })
        if (client != nullptr)
        {
            jack_deactivate (client);
            jack_client_close (client);
        }
}

int JackTap::playCallback (jack_nframes_t n, void* context)
{
    auto& self = *static_cast<JackTap*> (context);
    float* out[2] = { static_cast<float*> (jack_port_get_buffer (self.playerPorts[0], n)),
                      static_cast<float*> (jack_port_get_buffer (self.playerPorts[1], n)) };

    const long long frame = jack_last_frame_time (self.player);
    long long start = self.startFrame.load();
    if (start < 0 && self.armed.load())
    {
        start = frame;
        self.startFrame.store (frame);
    }

    for (int c = 0; c < 2; ++c)
        for (jack_nframes_t i = 0; i < n; ++i)
        {
            const long long k = frame - start + (long long) i;
            const auto& s = *self.signal[c];
            out[c][i] = (start >= 0 && k < (long long) s.size()) ? s[(size_t) k] : 0.0f;
        }
    return 0;
}

int JackTap::recordCallback (jack_nframes_t n, void* context)
{
    auto& self = *static_cast<JackTap*> (context);
    const long long start = self.startFrame.load();
    if (start < 0)
        return 0;

    const long long frame = jack_last_frame_time (self.recorder);
    // Both clients take the frame time of the cycle: a jump means a cycle ran without them.
    // The first recorded cycle must be the one the player started in.
    if (self.expectedFrame >= 0 ? frame != self.expectedFrame : frame != start)
        self.gap.store (true);
    self.expectedFrame = frame + n;

    const auto length = (long long) self.recording[0].size();
    for (int c = 0; c < 2; ++c)
    {
        const auto* in = static_cast<const float*> (jack_port_get_buffer (self.recorderPorts[c], n));
        for (jack_nframes_t i = 0; i < n; ++i)
        {
            const long long k = frame - start + (long long) i;
            if (k >= 0 && k < length)
                self.recording[c][(size_t) k] = in[i];
        }
    }
    self.recorded.store (std::min (length, frame - start + (long long) n));
    return 0;
}

std::vector<std::vector<float>> JackTap::run (const std::string& client, const std::string& inputPrefix,
                                              const std::string& outputPrefix, const std::vector<float>& left,
                                              const std::vector<float>& right, int timeoutMs)
{
    if (! tapError.empty())
        return {};
    if (armed.load())
    {
        tapError = "a tap plays one signal only";
        return {};
    }

    signal[0] = &left;
    signal[1] = &right;
    for (auto& r : recording)
        r.assign (left.size(), 0.0f);

    for (int c = 0; c < 2; ++c)
    {
        const auto suffix = std::to_string (c + 1);
        if (jack_connect (player, jack_port_name (playerPorts[c]), (client + ":" + inputPrefix + suffix).c_str()) != 0
            || jack_connect (recorder, (client + ":" + outputPrefix + suffix).c_str(),
                             jack_port_name (recorderPorts[c]))
                   != 0)
        {
            tapError = "cannot connect to the ports of " + client;
            return {};
        }
    }

    // The server takes new connections into its running order between cycles: let a few cycles
    // pass so that the first one played already runs player, client and recorder in that order.
    sleepMs (200);
    jack_set_freewheel (player, 1);
    armed.store (true);

    const auto deadline = Clock::now() + std::chrono::milliseconds (timeoutMs);
    while (recorded.load() < (long long) left.size() && Clock::now() < deadline)
        sleepMs (10);

    jack_set_freewheel (player, 0);

    if (recorded.load() < (long long) left.size())
        tapError = "only " + std::to_string (recorded.load()) + " of " + std::to_string (left.size())
                   + " samples came back within the time limit";
    else if (gap.load())
        tapError = "the recording missed a process cycle or did not start with the signal";

    if (! tapError.empty())
        return {};
    return { recording[0], recording[1] };
}

} // namespace quorvane::hosttest
