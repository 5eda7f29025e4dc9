#include "SpeechEngine.h"

namespace tavrel {

namespace {

thread_local const RenderCancel *t_current = nullptr;

}  // namespace

RenderCancel::RenderCancel(std::function<bool()> givenUp) : m_givenUp(std::move(givenUp)), m_outer(t_current)
{
    t_current = this;
}

RenderCancel::~RenderCancel()
{
    t_current = m_outer;
}

bool RenderCancel::requested()
{
    return t_current && t_current->givenUp();
}

const RenderCancel *RenderCancel::current()
{
    return t_current;
}

}  // namespace tavrel
