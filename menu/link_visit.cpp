#include "menu/link_visit.h"

#include <algorithm>
#include <vector>

namespace {

// The controls a chain is passing through now (the menus run on one thread;
// each thread keeps its own chain all the same).
thread_local std::vector<const Control*> t_Visiting;

} // namespace

LinkVisit::LinkVisit(const Control& control)
    : m_pControl(&control),
      m_bFirst(std::find(t_Visiting.begin(), t_Visiting.end(), &control) == t_Visiting.end())
{
    if (m_bFirst)
        t_Visiting.push_back(m_pControl);
}

LinkVisit::~LinkVisit()
{
    if (!m_bFirst)
        return;
    const auto it = std::find(t_Visiting.begin(), t_Visiting.end(), m_pControl);
    if (it != t_Visiting.end())
        t_Visiting.erase(it);
}
