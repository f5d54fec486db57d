#include "platform/office/OfficeThread.h"

#include <com/sun/star/awt/AsyncCallback.hpp>
#include <com/sun/star/awt/XCallback.hpp>
#include <cppuhelper/implbase1.hxx>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace office {

namespace css = com::sun::star;
using css::uno::Any;
using css::uno::Reference;

namespace {

struct CallState {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    bool ok = false;
};

class CCallback : public cppu::WeakImplHelper1<css::awt::XCallback> {
public:
    CCallback(std::function<void()> work, std::shared_ptr<CallState> state)
        : m_work(std::move(work)), m_state(std::move(state)) {}

    void SAL_CALL notify(const Any&) override
    {
        bool ok = true;
        try {
            m_work();
        } catch (...) {
            ok = false;
        }
        std::lock_guard lock(m_state->mutex);
        m_state->finished = true;
        m_state->ok = ok;
        m_state->done.notify_all();
    }

private:
    std::function<void()> m_work;
    std::shared_ptr<CallState> m_state;
};

}  // namespace

bool CallOnOfficeThread(const Reference<css::uno::XComponentContext>& context,
                        std::function<void()> work, int timeoutMs)
{
    auto state = std::make_shared<CallState>();
    try {
        auto async = css::awt::AsyncCallback::create(context);
        Reference<css::awt::XCallback> callback(new CCallback(std::move(work), state));
        async->addCallback(callback, Any());
    } catch (const css::uno::Exception&) {
        return false;
    }
    std::unique_lock lock(state->mutex);
    if (!state->done.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                              [&] { return state->finished; }))
        return false;
    return state->ok;
}

}  // namespace office
