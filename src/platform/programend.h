#pragma once

// Ending the program at once: no question, no further window event. The one place that does
// it, so that tests can replace it.
class IProgramEnd {
public:
    virtual ~IProgramEnd() = default;
    // The real implementation leaves the event loop, after which no further window event runs;
    // it returns, as a test double does, so callers return straight after calling it.
    virtual void endProgram() = 0;
};
