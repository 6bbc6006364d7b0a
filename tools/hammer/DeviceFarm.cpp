#include "DeviceFarm.h"

#include "ChildSimulator.h"
#include "RandomArguments.h"

#include "DeviceSimulator.h"

#include <lyio/lyio.h>
#include <lyp2psdk/lyp2psdk.h>

using namespace lydevice;

namespace
{

// The requests a fault may hit: every request that does not close something.
const char *const recorderHttpRequests[] = { "get.playback.recordinfo",
    "get.playback.recordinfo_page",
    "get.playback.evt_backup_search",
    "get.playback.evt_backup_search_page",
    "get.playback.tags_search_open",
    "get.playback.tags_search_page",
    "get.playback.picture_backup_search_open",
    "get.playback.picture_backup_search_page",
    "get.playback.picture_backup_search_index" };
const char *const recorderLinkRequests[] = { "nvr.25", "nvr.26", "nvr.27", "nvr.28", "nvr.29", "nvr.31" };
const char *const cameraHttpRequests[] = { "PBFileTotalPage", "PBFilePageIndex", "sdexplorer", "dataloader" };
const char *const cameraLinkRequests[] = { "ipc.9", "ipc.55" };

template <std::size_t N> QString pick(RandomArguments &random, const char *const (&names)[N])
{
    return QLatin1String(names[random.below(int(N))]);
}

// A handle no target has, for the target of unknown kind.
constexpr quint64 unknownHandle = (quint64(1) << 32) + 7;

} // namespace

DeviceFarm::DeviceFarm(const HammerOptions &options)
    : options(options)
{
}

DeviceFarm::~DeviceFarm() = default;

bool DeviceFarm::start(QString *error)
{
    return options.soak ? startChildren(error) : startInProcess(error);
}

bool DeviceFarm::startInProcess(QString *error)
{
    QVector<Endpoint> endpoints;
    for (int i = 0; i < 2 * options.devices; ++i) {
        sim::SimulatorOptions settings;
        settings.kind = i % 2 == 0 ? sim::DeviceKind::Recorder : sim::DeviceKind::Camera;
        settings.seed = options.seed + quint64(i);
        settings.requestLogLimit = 0; // the log is not read; it must not grow with the run
        simulators.push_back(std::make_unique<sim::DeviceSimulator>(settings));
        sim::DeviceSimulator &device = *simulators.back();
        if (!device.listen()) {
            *error = QStringLiteral("a simulator cannot listen: ") + device.errorString();
            return false;
        }
        endpoints.append({ i % 2 == 0 ? DeviceType::NVR : DeviceType::IPC, device.httpPort(), device.p2pPort() });
    }
    registerEndpoints(endpoints);
    return true;
}

bool DeviceFarm::startChildren(QString *error)
{
    QVector<Endpoint> endpoints;
    for (int i = 0; i < options.devices; ++i) {
        children.push_back(std::make_unique<ChildSimulator>());
        if (!children.back()->start(options.simulatorProgram, options.seed + quint64(i), 30000, error))
            return false;
        const ChildSimulator::Ports &ports = children.back()->ports();
        endpoints.append({ DeviceType::NVR, ports.recorderHttp, ports.recorderLink });
        endpoints.append({ DeviceType::IPC, ports.cameraHttp, ports.cameraLink });
    }
    registerEndpoints(endpoints);
    return true;
}

void DeviceFarm::registerEndpoints(const QVector<Endpoint> &endpoints)
{
    const QString host = QStringLiteral("127.0.0.1");
    quint64 highest = 0;
    for (const Endpoint &endpoint : endpoints) {
        const quint64 handle = tcp_scheduler_add_target(host, endpoint.http);
        registered.append({ endpoint.kind, TransportType::Ip, handle });
        highest = qMax(highest, handle);
    }
    // Link handles past every HTTP handle: a peer registered and forgotten at once uses one up.
    for (;;) {
        const int spare = lyp2psdk_add_peer(host, 9);
        lyp2psdk_remove_peer(spare);
        if (spare <= 0 || quint64(spare) >= highest)
            break;
    }
    for (const Endpoint &endpoint : endpoints)
        registered.append({ endpoint.kind, TransportType::P2p, quint64(lyp2psdk_add_peer(host, endpoint.link)) });
    registered.append({ DeviceType(7), TransportType::Ip, unknownHandle });
}

QVector<TargetDesc> DeviceFarm::targets() const
{
    return registered;
}

QString DeviceFarm::description() const
{
    return QStringLiteral("%1 recorder(s) and %1 camera(s) %2, each over ip and p2p")
        .arg(options.devices)
        .arg(inProcess() ? QStringLiteral("in this process") : QStringLiteral("in child processes"));
}

bool DeviceFarm::inProcess() const
{
    return !simulators.empty();
}

void DeviceFarm::armRandomFault(RandomArguments &random)
{
    if (simulators.empty())
        return;
    sim::DeviceSimulator &device = *simulators.at(std::size_t(random.below(int(simulators.size()))));
    const bool recorder = device.kind() == sim::DeviceKind::Recorder;
    const bool overLink = random.percent(40);
    QString match;
    if (overLink)
        match = recorder ? pick(random, recorderLinkRequests) : pick(random, cameraLinkRequests);
    else
        match = recorder ? pick(random, recorderHttpRequests) : pick(random, cameraHttpRequests);
    // Over the link only faults that leave the link up.
    static const sim::FaultKind httpKinds[] = { sim::FaultKind::Delay,
        sim::FaultKind::Status500,
        sim::FaultKind::Drop,
        sim::FaultKind::Malformed,
        sim::FaultKind::TruncatedChunked };
    static const sim::FaultKind linkKinds[]
        = { sim::FaultKind::Delay, sim::FaultKind::Status500, sim::FaultKind::Malformed };
    const sim::FaultKind kind = overLink ? linkKinds[random.below(3)] : httpKinds[random.below(5)];
    device.addFault(kind, match, 1, kind == sim::FaultKind::Delay ? 20 + random.below(800) : 0);
}

QMap<QString, int> DeviceFarm::openHandles() const
{
    QMap<QString, int> open;
    for (std::size_t i = 0; i < simulators.size(); ++i) {
        const sim::DeviceSimulator &device = *simulators[i];
        const QString name
            = device.kind() == sim::DeviceKind::Recorder ? QStringLiteral("recorder") : QStringLiteral("camera");
        for (const sim::HandleRecord &handle : device.openHandles()) {
            ++open[QStringLiteral("%1 %2 (http %3, p2p %4): %5")
                       .arg(name)
                       .arg(i / 2)
                       .arg(device.httpPort())
                       .arg(device.p2pPort())
                       .arg(sim::DeviceBooks::kindName(handle.kind))];
        }
    }
    return open;
}

DeviceFarm::Totals DeviceFarm::totals() const
{
    Totals totals;
    for (const auto &device : simulators) {
        totals.requests += device->books().requestCount();
        totals.handlesOpened += device->books().handles().size();
        totals.strayCloses += device->books().strayCloses().size();
    }
    return totals;
}

qint64 DeviceFarm::childrenResidentKb() const
{
    qint64 sum = 0;
    for (const auto &child : children)
        sum += qMax<qint64>(0, child->residentKb());
    return sum;
}
