// The SG_IO side of the pass-through: open the device, send one request,
// hand its answer to the codec.
#include "ata/LinuxSgBus.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "ata/DeviceNames.h"
#include "ata/SatPassThrough.h"
#include "nvme/NvmeIoctl.h"

namespace quorvane {

namespace {

// Room for the descriptor-format answer with the ATA Status Return
// descriptor (8 + 14 bytes) and for the 18 bytes of the fixed format.
constexpr size_t SenseBufferSize = 32;

class LinuxSgHandle final : public DriveHandle {
public:
    LinuxSgHandle(int fd, bool& permissionDenied) : fd_(fd), permissionDenied_(permissionDenied) {}
    ~LinuxSgHandle() override { ::close(fd_); }
    LinuxSgHandle(const LinuxSgHandle&) = delete;
    LinuxSgHandle& operator=(const LinuxSgHandle&) = delete;

protected:
    bool Send(AtaCommand& cmd) override {
        const bool wantRegisters = PassThroughWantsRegisters(cmd);
        auto cdb = BuildPassThrough16(cmd, wantRegisters);
        std::array<uint8_t, SenseBufferSize> sense{};
        if (cmd.IsDataIn())
            cmd.Data.fill(0);

        sg_io_hdr_t hdr{};
        hdr.interface_id = 'S';
        hdr.cmd_len = static_cast<unsigned char>(cdb.size());
        hdr.cmdp = cdb.data();
        hdr.mx_sb_len = static_cast<unsigned char>(sense.size());
        hdr.sbp = sense.data();
        if (cmd.IsDataIn()) {
            hdr.dxfer_direction = SG_DXFER_FROM_DEV;
            hdr.dxferp = cmd.Data.data();
            hdr.dxfer_len = cmd.DataLength;
        } else {
            hdr.dxfer_direction = SG_DXFER_NONE;
        }
        hdr.timeout = static_cast<unsigned>(cmd.TimeoutSeconds) * 1000u;

        if (::ioctl(fd_, SG_IO, &hdr) != 0) {
            // A device opened through the disk group still refuses ATA
            // pass-through without CAP_SYS_RAWIO.
            if (errno == EPERM || errno == EACCES)
                permissionDenied_ = true;
            return false;
        }
        PassThroughAnswer answer;
        answer.ScsiStatus = hdr.status;
        answer.HostStatus = hdr.host_status;
        answer.DriverStatus = hdr.driver_status;
        answer.Resid = hdr.resid;
        answer.Sense =
            std::span<const uint8_t>(sense).first(std::min<size_t>(hdr.sb_len_wr, sense.size()));
        return ApplyPassThroughAnswer(answer, cmd);
    }

private:
    int fd_;
    bool& permissionDenied_;
};

class LinuxNvmeHandle final : public DriveHandle {
public:
    LinuxNvmeHandle(int fd, bool& permissionDenied) : fd_(fd), permissionDenied_(permissionDenied) {}
    ~LinuxNvmeHandle() override { ::close(fd_); }
    LinuxNvmeHandle(const LinuxNvmeHandle&) = delete;
    LinuxNvmeHandle& operator=(const LinuxNvmeHandle&) = delete;

protected:
    bool Send(AtaCommand&) override { return false; }
    bool SendNvme(NvmeAdminCommand& cmd) override {
        const NvmeIoctlResult result = SendNvmeIoctl(fd_, cmd);
        // The kernel refuses admin commands without CAP_SYS_ADMIN, whatever
        // the node's mode.
        if (result == NvmeIoctlResult::PermissionDenied)
            permissionDenied_ = true;
        return result == NvmeIoctlResult::Completed;
    }

private:
    int fd_;
    bool& permissionDenied_;
};

} // namespace

LinuxSgBus::LinuxSgBus(std::string devicePrefix, std::string nvmePrefix)
    : prefix_(std::move(devicePrefix)), nvmePrefix_(std::move(nvmePrefix)) {
    opened_.fill(Fresh);
    nvmeOpened_.fill(Fresh);
}

LinuxSgBus::~LinuxSgBus() {
    for (const auto* table : {&opened_, &nvmeOpened_})
        for (int fd : *table)
            if (fd >= 0)
                ::close(fd);
}

int LinuxSgBus::Open(const std::string& path) {
    // Read-only: with CAP_SYS_RAWIO the kernel takes any pass-through command
    // on such a descriptor, and closing it is no write (a descriptor open for
    // writing makes udev re-probe the disk when it closes, which wakes a
    // sleeping drive).
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == EACCES || errno == EPERM)
            permissionDenied_ = true;
        return Missing;
    }
    // Only devices take pass-through requests.
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !(S_ISBLK(st.st_mode) || S_ISCHR(st.st_mode))) {
        ::close(fd);
        return Missing;
    }
    return fd;
}

bool LinuxSgBus::OpenAll() {
    static_assert(MaxDriveNumber + 1 == std::tuple_size_v<decltype(opened_)>);
    static_assert(MaxNvmeController + 1 == std::tuple_size_v<decltype(nvmeOpened_)>);
    for (unsigned n = 0; n <= MaxDriveNumber; ++n)
        if (opened_[n] == Fresh)
            opened_[n] = Open(prefix_ + DriveLetter(n));
    for (unsigned n = 0; n <= MaxNvmeController; ++n)
        if (nvmeOpened_[n] == Fresh)
            nvmeOpened_[n] = Open(NvmeDevicePath(n, nvmePrefix_));
    return !permissionDenied_;
}

int LinuxSgBus::NvmeControllersOpened() const {
    return static_cast<int>(std::count_if(nvmeOpened_.begin(), nvmeOpened_.end(),
                                          [](int fd) { return fd >= 0; }));
}

// What OpenAll left for node n, or Fresh; either way the slot is fresh again.
int LinuxSgBus::Take(std::array<int, 16>& opened, unsigned n) {
    const int fd = opened[n];
    opened[n] = Fresh;
    return fd;
}

std::unique_ptr<DriveHandle> LinuxSgBus::OpenDrive(unsigned driveNumber) {
    if (driveNumber > MaxDriveNumber)
        return nullptr;
    int fd = Take(opened_, driveNumber);
    if (fd == Fresh)
        fd = Open(prefix_ + DriveLetter(driveNumber));
    if (fd < 0)
        return nullptr;
    return std::make_unique<LinuxSgHandle>(fd, permissionDenied_);
}

std::unique_ptr<DriveHandle> LinuxSgBus::OpenNvme(unsigned controller) {
    if (controller > MaxNvmeController)
        return nullptr;
    int fd = Take(nvmeOpened_, controller);
    if (fd == Fresh)
        fd = Open(NvmeDevicePath(controller, nvmePrefix_));
    if (fd < 0)
        return nullptr;
    return std::make_unique<LinuxNvmeHandle>(fd, permissionDenied_);
}

std::string LinuxSgBus::Describe() const {
    return "physical drives " + prefix_ + "a to " + prefix_ + "p and " + nvmePrefix_ + "0 to " +
           nvmePrefix_ + "15";
}

} // namespace quorvane
