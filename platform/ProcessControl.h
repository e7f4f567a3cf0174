#pragma once

namespace corvix {

/// Other processes: whether one still exists, and asking one to end.
class ProcessControl {
  public:
    virtual ~ProcessControl() = default;
    /// True when signal 0 reaches the process (it exists and may be signalled).
    virtual bool probe(int pid) = 0;
    /// Sends SIGTERM; false when it could not be sent.
    virtual bool requestTermination(int pid) = 0;
};

/// The real thing, through kill(2).
class PosixProcessControl final : public ProcessControl {
  public:
    bool probe(int pid) override;
    bool requestTermination(int pid) override;
};

}  // namespace corvix
