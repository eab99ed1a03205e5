// Queueing the load and save sequences through the engine. The tool queues the program-mode
// entry and exit itself, so no speed change is ever asked for.
#include "TransponderModel.h"

#include "VLPMsg.h"

namespace vq5::tct {

void CTransponderModel::QueueLoad(CVLPMsg& engine) const {
    for (const std::string& text : LoadTexts())
        engine.QueueText(text);
}

std::vector<std::string> CTransponderModel::QueueSave(CVLPMsg& engine, bool readBack) const {
    const std::vector<std::string> texts = SaveTexts(readBack);
    for (const std::string& text : texts)
        engine.QueueText(text);
    return SetTexts();
}

} // namespace vq5::tct
