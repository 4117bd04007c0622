#pragma once

// Ending the program at once: no question, no further window event. The one place that does
// it, so that tests can replace it.
class IProgramEnd {
public:
    virtual ~IProgramEnd() = default;
    // The real implementation does not return. A test double records the call and returns;
    // callers therefore return straight after calling it.
    virtual void endProgram() = 0;
};
