#include "ads/core/telemetry/GADCSIGMSGHandler.h"

#include "ads/core/telemetry/GADCSI.h"
#include "ads/core/telemetry/GADCSIReporter.h"
#include "ads/render/GADNotification.h"
#include "platform/base/Value.h"

namespace ruzave {
namespace {

template <void (GADCSIGMSGHandler::*Method)(const GADGMSGHandler::Arguments&)>
void send(GADGMSGHandler& handler, const GADGMSGHandler::Arguments& arguments) {
    (static_cast<GADCSIGMSGHandler&>(handler).*Method)(arguments);
}

std::shared_ptr<GADCSITimeRecorder> makeWebViewRecorder() {
    return GADCSI::sharedInstance()->timeRecorderForAction(std::string(GADCSI::kMakeWebViewAction));
}

} // namespace

std::shared_ptr<GADCSIGMSGHandler> GADCSIGMSGHandler::init() {
    return std::shared_ptr<GADCSIGMSGHandler>(new GADCSIGMSGHandler());
}

const GADGMSGHandler::ActionBlockDictionary* GADCSIGMSGHandler::actionBlockDictionary() const {
    static const ActionBlockDictionary table = {
        {"instrument", send<&GADCSIGMSGHandler::didReceiveCSINotification>},
    };
    return &table;
}

const GADGMSGHandler::ActionBlockDictionary* GADCSIGMSGHandler::subActionBlockDictionary() const {
    static const ActionBlockDictionary table = {
        {"tick", send<&GADCSIGMSGHandler::didReceiveTickAction>},
        {"experiment", send<&GADCSIGMSGHandler::didReceiveExperimentAction>},
        {"extra", send<&GADCSIGMSGHandler::didReceiveExtraAction>},
    };
    return &table;
}

void GADCSIGMSGHandler::didReceiveCSINotification(const Arguments& arguments) {
    dispatchSubAction("action", arguments);
}

void GADCSIGMSGHandler::didReceiveTickAction(const Arguments& arguments) {
    if (!arguments.note) return;
    auto label = arguments.note->parameter("label");
    auto timestampText = arguments.note->parameter("timestamp");
    if (!label || label->empty() || !timestampText) return;
    const long long timestamp = platform::integerValue(*timestampText);
    if (timestamp == 0) return;
    auto csi = GADCSI::sharedInstance();
    csi->setTimestamp(timestamp, *label);
    std::string startLabel = arguments.note->parameter("start_label").value_or(kDefaultStartLabel);
    const long long start = csi->timestampForLabel(startLabel);
    if (start == 0 || start > timestamp) return;
    auto recorder = makeWebViewRecorder();
    if (!recorder) return;
    // Ticks are milliseconds; recorded variables are seconds, like the ones the recorder times itself.
    auto variable = GADCSIVariableTiming::initWithName(*label, static_cast<double>(start) / 1000.0);
    variable->setLength((static_cast<double>(timestamp) - static_cast<double>(start)) / 1000.0);
    recorder->addCompletedVariable(variable);
}

void GADCSIGMSGHandler::didReceiveExperimentAction(const Arguments& arguments) {
    if (!arguments.note) return;
    auto value = arguments.note->parameter("value");
    if (!value) return;
    if (auto recorder = makeWebViewRecorder()) recorder->addExperimentID(*value);
}

void GADCSIGMSGHandler::didReceiveExtraAction(const Arguments& arguments) {
    if (!arguments.note) return;
    auto name = arguments.note->parameter("name");
    auto value = arguments.note->parameter("value");
    // A creative's names must not smuggle extra query syntax or replace the report's own fields' names
    // with garbage: only plain names are taken.
    if (!name || !value || !GADCSIReporter::isAcceptableParameterName(*name)) return;
    if (auto recorder = makeWebViewRecorder()) recorder->setCustomizedParameterValue(platform::Value(*value), *name);
}

} // namespace ruzave
