// Feeds arbitrary datagrams to the OSC reader and the access rules that read
// them from another computer. Seed it with tests/data/osc: messages of every
// argument kind, a nested bundle and one with the token first.

#include "osc_packet.h"
#include "remote_policy.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    const auto messages = tremlo::remote::parseOscPacket(bytes);
    if (messages) {
        if (messages->size() > tremlo::remote::kMaxOscMessages)
            std::abort();
        for (const auto& message : *messages) {
            (void)tremlo::remote::oscCommand(message);
            // What is written for the senders reads back as one message.
            const auto again =
                tremlo::remote::parseOscPacket(tremlo::remote::encodeOscMessage(message));
            if (message.address.size() < 1000 &&
                (!again || again->size() != 1 || again->front().address != message.address))
                std::abort();
        }
    }
    // A sender on the local network: one from elsewhere is dropped unread.
    tremlo::remote::AccessPolicy policy("q3Xv0Jr8cW1tZk7nB2mA5g");
    (void)policy.judgeOsc("192.168.0.7", false, bytes, 0);
    return 0;
}
