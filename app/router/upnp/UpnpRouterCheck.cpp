#include "router/upnp/UpnpRouter.h"

// The router's own table says whether the forward stands, to this computer, on the same port.
std::optional<bool> UpnpRouter::HoldsForward(const PlannedMapping& mapping) {
    if (!client_)
        return std::nullopt;
    const SpecificEntryResult e =
        client_->getSpecificPortMappingEntry(quint16(mapping.port), mapping.protocol);
    if (e.entry)
        return isThisComputer(e.entry->internalClient) && e.entry->internalPort == mapping.port &&
               e.entry->enabled;
    if (e.answer.isFault(714) || e.answer.ok())
        return false;
    return std::nullopt;
}
