#include "platform/midi_port_names.h"

#include <cctype>

namespace {

std::string ToLower(std::string text)
{
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

std::string DescribeMidiPorts(const std::vector<MidiPortName>& ports)
{
    std::string text;
    for (const MidiPortName& port : ports) {
        if (!text.empty()) text += ", ";
        text += port.Id + " \"" + port.Name + "\"";
    }
    return text;
}

PortMatch MatchMidiPort(const std::vector<MidiPortName>& ports, const std::string& wanted, const char* otherName,
                        std::size_t* index, std::string* failure)
{
    for (std::size_t i = 0; i < ports.size(); ++i) {
        if (ports[i].Id != wanted) continue;
        *index = i;
        return PortMatch::Found;
    }
    const std::string part = ToLower(wanted);
    std::vector<MidiPortName> matches;
    for (std::size_t i = 0; i < ports.size(); ++i) {
        if (ToLower(ports[i].Name).find(part) == std::string::npos) continue;
        matches.push_back(ports[i]);
        *index = i;
    }
    if (matches.size() == 1) return PortMatch::Found;
    if (matches.size() > 1) {
        *failure = "\"" + wanted + "\" matches several MIDI input ports: " + DescribeMidiPorts(matches) +
                   "; give more of the name, or its " + otherName;
        return PortMatch::Several;
    }
    *failure = "no MIDI input port named \"" + wanted + "\"";
    *failure += ports.empty() ? " (there are no MIDI input ports)" : "; there are: " + DescribeMidiPorts(ports);
    return PortMatch::None;
}
