#include "settings/device_settings.h"

namespace vqx {

const ValueTextTable<5> kVocoderTexts = {{
    {1, "GSM 13Kbps"}, {2, "ADPCM 16Kbps"}, {3, "ADPCM 24Kbps"}, {4, "ADPCM 32Kbps"}, {5, "PCM 64Kbps"},
}};

const ValueTextTable<4> kCorSquelchTexts = {{
    {0, "Active Low"}, {1, "Active High"}, {2, "VOX"}, {3, "VMR"},
}};

const ValueTextTable<4> kBroadcastModeTexts = {{
    {0, "Normal"}, {1, "Broadcast"}, {2, "Connectionless"}, {3, "Multicast"},
}};

const ValueTextTable<3> kVoxThresholdTexts = {{
    {0, "Low"}, {1, "Medium"}, {2, "High"},
}};

const ValueTextTable<3> kParityTexts = {{
    {'N', "None"}, {'E', "Even"}, {'O', "Odd"},
}};

const ValueTextTable<6> kCorInhibitTimeTexts = {{
    {0, "0 ms"}, {500, "500 ms"}, {1000, "1000 ms"}, {2000, "2000 ms"}, {3000, "3000 ms"}, {4000, "4000 ms"},
}};

// The hang-time list has no "0 ms": a hang time of 0 is valid but matches no entry.
const ValueTextTable<5> kHangTimeTexts = {{
    {500, "500 ms"}, {1000, "1000 ms"}, {2000, "2000 ms"}, {3000, "3000 ms"}, {4000, "4000 ms"},
}};

const char* ConnectionModeText(int32_t connectionMode) { return connectionMode == 0 ? "Client" : "Server"; }
const char* InputBoostText(int32_t inputBoost) { return inputBoost == 0 ? "None" : "+20 db"; }
const char* DuplexText(int32_t duplex) { return duplex == 0 ? "Full" : "Half"; }

}  // namespace vqx
