#pragma once

#include <jack/jack.h>

#include <atomic>
#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

namespace quorvane::hosttest
{

/** A child process whose standard output and error go to a file and whose standard input is a
    pipe. It is sent SIGTERM if this process dies first, so no server or host outlives a crashed
    test; the destructor ends it (politely, then by force) if it still runs. */
class ChildProgram
{
public:
    /** Starts argv[0] from PATH with the extra environment entries ("NAME=value"). */
    ChildProgram (const std::vector<std::string>& argv, const std::vector<std::string>& extraEnvironment);
    ~ChildProgram();

    bool isRunning();
    /** Writes text to the child's standard input; false once the pipe is closed. */
    bool send (const std::string& text);
    /** Everything the child has printed so far (standard output and error together). */
    std::string output() const;
    /** Closes the child's input and waits up to timeoutMs for it to exit; then SIGTERM, then SIGKILL. */
    void stop (int timeoutMs);

    const std::string& error() const { return startError; }

private:
    pid_t pid = -1;
    int stdinPipe = -1;
    std::string logPath, startError;
};

/** A JACK server on the dummy driver (no sound card), private to this test process: its own
    server name, made the default for this process and its children, gone again on destruction.
    Not real-time: test machines often cannot grant real-time priority. */
class JackDummyServer
{
public:
    JackDummyServer (int sampleRate, int blockSize);
    ~JackDummyServer();

    /** Empty once clients can connect; otherwise why not. */
    const std::string& error() const { return startError; }
    const std::string& name() const { return serverName; }
    std::string log() const;

private:
    std::string serverName, startError;
    std::unique_ptr<ChildProgram> server;
};

/** A player and a recorder client around one JACK client under test: the player feeds a stereo
    signal into its inputs and the recorder takes its outputs in the same process cycles.

    JACK runs the clients of a cycle in the order of their connections, all for the same frame
    time, so sample k of the recording is the client's answer to sample k of the signal: no
    offset to guess. The graph runs freewheeling while the signal plays, as fast as the clients
    compute and without missed deadlines, so a loaded machine cannot drop a cycle. */
class JackTap
{
public:
    JackTap();
    ~JackTap();

    const std::string& error() const { return tapError; }

    /** Plays left/right (equal lengths) into <client>:<inputPrefix>1/2 and records
        <client>:<outputPrefix>1/2 for as many samples; empty result and error() set on failure. */
    std::vector<std::vector<float>> run (const std::string& client, const std::string& inputPrefix,
                                         const std::string& outputPrefix, const std::vector<float>& left,
                                         const std::vector<float>& right, int timeoutMs);

private:
    static int playCallback (jack_nframes_t n, void* self);
    static int recordCallback (jack_nframes_t n, void* self);

    jack_client_t* player = nullptr;
    jack_client_t* recorder = nullptr;
    jack_port_t* playerPorts[2] {};
    jack_port_t* recorderPorts[2] {};

    const std::vector<float>* signal[2] {};
    std::vector<float> recording[2];
    std::atomic<bool> armed { false };
    std::atomic<long long> startFrame { -1 };
    std::atomic<long long> recorded { 0 };
    std::atomic<bool> gap { false };
    long long expectedFrame = -1;
    std::string tapError;
};

/** Waits up to timeoutMs until a port of that full name exists on the default server. */
bool waitForPort (const std::string& portName, int timeoutMs);

} // namespace quorvane::hosttest
