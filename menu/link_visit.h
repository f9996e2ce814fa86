#pragma once

class Control;

// Marks a control as being reached along a chain of links (a notification
// or a first-row change passed on from control to control), so that a
// control linked to itself, or a ring of links, is reached once instead of
// for ever. The mark lasts as long as the object.
class LinkVisit {
public:
    explicit LinkVisit(const Control& control);
    ~LinkVisit();
    LinkVisit(const LinkVisit&) = delete;
    LinkVisit& operator=(const LinkVisit&) = delete;

    // False when the control was already being reached further up the chain.
    bool first() const { return m_bFirst; }

private:
    const Control* m_pControl;
    bool m_bFirst;
};
