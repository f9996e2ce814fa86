#pragma once

// Guards one control's part in a pass along a chain of linked controls (an
// event or a focus change handed on to the linked control, which may hand
// it on again). While a control is passing something on it does not take
// it a second time, so a control linked to itself, or a ring of links,
// hands each event round once instead of for ever.
class LinkPass {
public:
    explicit LinkPass(bool& busy) : m_rBusy(busy), m_bEntered(!busy) { m_rBusy = true; }
    ~LinkPass()
    {
        if (m_bEntered)
            m_rBusy = false;
    }
    LinkPass(const LinkPass&) = delete;
    LinkPass& operator=(const LinkPass&) = delete;

    // False when the control was already passing: it does nothing this time.
    bool Entered() const { return m_bEntered; }

private:
    bool& m_rBusy;
    bool m_bEntered;
};
