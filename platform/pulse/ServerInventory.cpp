#include "platform/pulse/ServerInventory.h"

#include <pulse/introspect.h>
#include <pulse/proplist.h>

namespace {

std::string Prop(const pa_proplist* props, const char* key)
{
    const char* v = props ? pa_proplist_gets(props, key) : nullptr;
    return v ? v : "";
}

struct Query {
    CPulseContext* ctx;
    PulseServerInventory* inv;
};

}  // namespace

HRESULT QueryServerInventory(CPulseContext& ctx, PulseServerInventory* pInventory)
{
    if (!pInventory) return E_POINTER;
    if (!ctx.Context()) return E_UNEXPECTED;
    PulseServerInventory inv;
    Query q {&ctx, &inv};
    CPulseContext::Lock lock(ctx);

    bool ok = ctx.WaitOperation(pa_context_get_server_info(
        ctx.Context(),
        [](pa_context*, const pa_server_info* i, void* p) {
            auto* q = static_cast<Query*>(p);
            if (i) {
                q->inv->serverName = i->server_name ? i->server_name : "";
                q->inv->defaultSinkName = i->default_sink_name ? i->default_sink_name : "";
                q->inv->defaultSourceName = i->default_source_name ? i->default_source_name : "";
            }
            q->ctx->Signal();
        },
        &q));
    ok = ok && ctx.WaitOperation(pa_context_get_card_info_list(
                   ctx.Context(),
                   [](pa_context*, const pa_card_info* i, int eol, void* p) {
                       auto* q = static_cast<Query*>(p);
                       if (!eol && i) {
                           PulseCardInfo c;
                           c.index = i->index;
                           c.name = i->name ? i->name : "";
                           c.description = Prop(i->proplist, PA_PROP_DEVICE_DESCRIPTION);
                           if (c.description.empty()) c.description = c.name;
                           q->inv->cards.push_back(std::move(c));
                       }
                       q->ctx->Signal();
                   },
                   &q));
    ok = ok && ctx.WaitOperation(pa_context_get_sink_info_list(
                   ctx.Context(),
                   [](pa_context*, const pa_sink_info* i, int eol, void* p) {
                       auto* q = static_cast<Query*>(p);
                       if (!eol && i) q->inv->sinks.push_back({i->index, i->name ? i->name : "", i->card});
                       q->ctx->Signal();
                   },
                   &q));
    ok = ok && ctx.WaitOperation(pa_context_get_source_info_list(
                   ctx.Context(),
                   [](pa_context*, const pa_source_info* i, int eol, void* p) {
                       auto* q = static_cast<Query*>(p);
                       if (!eol && i) {
                           PulseSourceInfo s;
                           s.index = i->index;
                           s.name = i->name ? i->name : "";
                           s.description = i->description ? i->description : s.name;
                           s.card = i->card;
                           s.monitorOfSink = i->monitor_of_sink;
                           s.formFactor = Prop(i->proplist, PA_PROP_DEVICE_FORM_FACTOR);
                           if (i->active_port) {
                               s.activePort = i->active_port->name ? i->active_port->name : "";
                               s.activePortType = static_cast<int>(i->active_port->type);
                           }
                           q->inv->sources.push_back(std::move(s));
                       }
                       q->ctx->Signal();
                   },
                   &q));
    if (!ok) return E_FAIL;
    // A monitor belongs to its sink's card even when the server does not say so.
    for (PulseSourceInfo& s : inv.sources) {
        if (!s.IsMonitor() || s.card != kNoIndex) continue;
        for (const PulseSinkInfo& k : inv.sinks)
            if (k.index == s.monitorOfSink) s.card = k.card;
    }
    *pInventory = std::move(inv);
    return S_OK;
}
