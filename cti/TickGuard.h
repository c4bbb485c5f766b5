#pragma once

// Refuses to start a piece of work while the previous one still runs. A CTI timer
// tick or command may pump messages or show a message box, and the timer (or another
// client) fires meanwhile: the guard makes that nested start a no-op, so a command
// runs once.
class TickGuard {
public:
    bool IsRunning() const { return running_; }

    // Runs `work` and returns true, or returns false at once while a run is under way.
    template <typename Work> bool Run(Work&& work)
    {
        if (running_)
            return false;
        running_ = true;
        const Reset reset{running_};
        work();
        return true;
    }

private:
    struct Reset {
        bool& running;
        ~Reset() { running = false; }
    };

    bool running_ = false;
};
