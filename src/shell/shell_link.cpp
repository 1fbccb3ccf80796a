// The play mode's connection: snapshots heard, control words sent, the frame's view.
#include "shell_link.h"

#include "lobby/lobby_client.h"
#include "lobby/lobby_protocol.h"

namespace netduel {

MatchState* shellLinkSnapshotTarget(ShellLink& link)
{
    return link.net.server.host ? &link.seen : &link.match;
}

void shellLinkReceive(ShellLink& link, std::span<const std::uint8_t> bytes, double now)
{
    if (clientViewReceive(link.view, bytes, now)) recordWriterSnapshot(link.recording.writer, bytes, now);
}

void shellLinkSendControl(ShellLink& link, KeyFlags held, bool frameToggle, double now)
{
    const std::optional<KeyFlags> word = controlOutboxDue(link.outbox, held, frameToggle, now);
    if (!word || !lobbyClientSendBytes(link.net.client, CHANNEL_CONTROL, clientViewControlBytes(link.view, *word), false))
        return;
    enet_host_flush(link.net.client.host);
    clientViewControlSent(link.view, *word, now);
}

const MatchState& shellLinkViewFrame(ShellLink& link, double frameDt, double now, bool overlay,
                                     std::vector<std::string>& lines)
{
    const RoundTrip roundTrip = lobbyClientRoundTrip(link.net.client);
    link.view.roundTrip = roundTrip.mean;
    clientViewSetSlot(link.view, lobbyClientOwnSlot(link.net.client));
    const MatchState& drawn = clientViewFrame(link.view, frameDt, now);
    overlayCountFrame(link.figures, frameDt);
    if (overlay) {
        link.figures.roundTrip = roundTrip;
        overlayFromView(link.figures, link.view, now);
        lines = overlayLines(link.figures);
    }
    // Before its client hears a snapshot a hosting copy shows the match it simulates.
    return link.view.smoothed.received > 0 ? drawn : link.match;
}

std::string shellLinkServerLabel(const ShellLink& link)
{
    return link.serverAddress + ":" + std::to_string(link.port);
}

}  // namespace netduel
