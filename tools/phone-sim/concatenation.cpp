#include "tools/phone-sim/concatenation.h"

#include <map>
#include <tuple>

namespace phonesim {

std::vector<WholeMessage> reassemble(const std::vector<AcceptedMessage>& accepted) {
    struct Collecting {
        std::size_t position;              // in the result
        std::map<int, std::string> texts;  // by part index
    };
    using Key = std::tuple<std::string, int, int>;  // destination, reference, count
    std::vector<WholeMessage> out;
    std::map<Key, Collecting> collecting;
    for (const AcceptedMessage& m : accepted) {
        const SubmitPdu& pdu = m.pdu;
        if (!pdu.concatenation || pdu.concatenation->count == 1) {
            out.push_back({pdu.destination, pdu.text, 1, true});
            continue;
        }
        const auto& c = *pdu.concatenation;
        const Key key{pdu.destination, c.reference, c.count};
        auto it = collecting.find(key);
        if (it != collecting.end()) {
            const auto seen = it->second.texts.find(c.index);
            if (seen != it->second.texts.end()) {
                if (seen->second == pdu.text) {
                    continue;  // the same part again
                }
                it = collecting.end();  // the reference has come round: a new message
            }
        }
        if (it == collecting.end()) {
            out.push_back({pdu.destination, {}, c.count, false});
            it = collecting.insert_or_assign(key, Collecting{out.size() - 1, {}}).first;
        }
        it->second.texts[c.index] = pdu.text;
        WholeMessage& whole = out[it->second.position];
        whole.text.clear();
        for (const auto& [index, text] : it->second.texts) {
            whole.text += text;
        }
        whole.complete = static_cast<int>(it->second.texts.size()) == c.count;
        if (whole.complete) {
            collecting.erase(it);
        }
    }
    return out;
}

}  // namespace phonesim
