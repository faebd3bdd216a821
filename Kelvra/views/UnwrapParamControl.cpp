#include "Kelvra/views/UnwrapParamControl.h"

#include "Kelvra/models/StreamHub.h"
#include "Kelvra/views/ParamControl.h"
#include "Kelvra/views/ParameterViews.h"
#include "platform/base/DataView.h"
#include "platform/base/ViewCommunicator.h"

#include <QLabel>
#include <QVBoxLayout>

namespace Kelvra {

const UnambiguousRangeView::NameTable UnambiguousRangeView::paramsToShow = {
    {"common", {"dealias_en", "mod_freq1", "quad_cnt_max", "sub_frame_cnt_max"}},
    {"meridian.tk", {"dealias_en", "alt_frm_en", "mod_freq1", "sub_frame_cnt_max1"}},
};

const UnambiguousRangeView::NameTable UnambiguousRangeView::paramsToShowIfDealiasing = {
    {"common", {"mod_freq2", "ma", "mb", "dealias_16bit_op_enable", "dealiased_ph_mask"}},
    {"meridian.tk", {"alt_freq_sel", "sub_frame_cnt_max2", "sup_frm_intg_scale"}},
};

UnambiguousRangeView::UnambiguousRangeView(HostWindow* window, StreamHub* depthCameraController, bool /*protection*/)
    : QWidget(nullptr)
    , window(window)
    , depthCameraController(depthCameraController)
{
    auto* layout = new QVBoxLayout(this);
    details = new QLabel();

    depthCamera = depthCameraController ? depthCameraController->getDepthCamera() : nullptr;
    if (depthCamera) {
        chipset = depthCamera->chipset();
        paramSetToShow = paramsToShow.count(chipset) ? chipset : std::string("common");
        param = ParamControl::getParamControl(depthCamera, getID().toStdString());
        if (param) {
            // Numeric kinds only have a detailed editor; others show the summary alone.
            paramWidget = param->getDetailedDisplayWidget();
            if (auto* editor = qobject_cast<RangeParameterDetailedView*>(paramWidget))
                connect(editor, &RangeParameterDetailedView::valueChanged, this, &UnambiguousRangeView::valueChanged);
            if (paramWidget)
                layout->addWidget(paramWidget);
        } else {
            details->setText(QStringLiteral("Parameter not available"));
        }
    }

    details->setStyleSheet(QStringLiteral("QLabel { color: #777; }"));
    details->setAlignment(Qt::AlignLeft);
    layout->addWidget(details);
    setSizePolicy(QSizePolicy::MinimumExpanding, QSizePolicy::Minimum);

    init();
    // Before the host can connect: the page refreshes itself first.
    connect(this, &UnambiguousRangeView::valueChanged, this, &UnambiguousRangeView::init);
}

QString UnambiguousRangeView::getID()
{
    return QStringLiteral("unambiguous_range");
}

QString UnambiguousRangeView::getTitle() const
{
    return QStringLiteral("Unambiguous Range (") + getID() + QStringLiteral(")");
}

void UnambiguousRangeView::init()
{
    if (!depthCamera || !param)
        return;
    if (auto* editor = qobject_cast<RangeParameterDetailedView*>(paramWidget))
        editor->init();
    const auto [ok, value] = param->get();
    if (!ok)
        return;
    emit DataView::communicator()->thresholdsChanged(QStringLiteral("depth"), 0, value.toDouble());

    QString text;
    bool dealiasing = false;
    for (const auto& name : paramsToShow.at(paramSetToShow)) {
        std::shared_ptr<ParamControl> handler;
        std::tie(handler, text) = showParam(name, text);
        // An unreadable switch counts as off.
        if (name == "dealias_en" && handler) {
            const auto read = handler->get();
            dealiasing = read.ok && read.value.toBool();
        }
    }
    if (dealiasing)
        for (const auto& name : paramsToShowIfDealiasing.at(paramSetToShow))
            text = showParam(name, text).second;
    details->setText(text);
}

std::pair<std::shared_ptr<ParamControl>, QString> UnambiguousRangeView::showParam(const std::string& paramName,
                                                                                  const QString& text)
{
    auto handler = ParamControl::getParamControl(depthCamera, paramName);
    if (!handler)
        return {nullptr, text};
    const QString name = handler->getName();
    return {handler, text + name + QStringLiteral(" = ") + handler->getDisplayValue() + QStringLiteral("\n")};
}

void UnambiguousRangeView::releaseDepthCamera()
{
    if (param)
        param->releaseDepthCamera();
    param.reset();
    depthCamera.reset();
}

} // namespace Kelvra
