#include "drive/LinuxSgBus.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvane {

// ATA PASS-THROUGH(16), as built here:
//
//   byte  0  0x85
//   byte  1  MULTIPLE_COUNT(7:5)=0 | PROTOCOL(4:1) | EXTEND(0)
//            protocol 3 = non-data, 4 = PIO data-in; EXTEND for 48-bit commands
//   byte  2  OFF_LINE(7:6)=0 | CK_COND(5) | T_TYPE(4)=0 | T_DIR(3) | BYT_BLOK(2) | T_LENGTH(1:0)
//            non-data: CK_COND=1, the rest 0 (0x20)
//            data-in:  T_DIR=1 (from the drive), BYT_BLOK=1 (512-byte blocks),
//                      T_LENGTH=2 (length in the Sector Count field) (0x0E)
//   byte  3  Features   (previous)      byte  4  Features
//   byte  5  Sector Count (previous)    byte  6  Sector Count
//   byte  7  LBA Low (previous)         byte  8  LBA Low
//   byte  9  LBA Mid (previous)         byte 10  LBA Mid
//   byte 11  LBA High (previous)        byte 12  LBA High
//   byte 13  Device                     byte 14  Command
//   byte 15  Control = 0
//   The previous (high-order) bytes are only sent with EXTEND.
//
// The registers come back in the sense data, in one of three layouts.
//
// Descriptor format (byte 0 = 0x72, or 0x73 for a deferred error):
//   byte 1 sense key (3:0), 2 ASC, 3 ASCQ, 7 additional length (bytes after byte 7);
//   descriptors from byte 8, each: byte 0 code, byte 1 additional length.
//   ATA Status Return descriptor, code 0x09, additional length 0x0C:
//     +0 0x09   +1 0x0C   +2 bit 0 EXTEND   +3 Error
//     +4 Count (previous)     +5 Count
//     +6 LBA Low (previous)   +7 LBA Low
//     +8 LBA Mid (previous)   +9 LBA Mid
//     +10 LBA High (previous) +11 LBA High
//     +12 Device              +13 Status
//   The previous bytes only mean something with EXTEND.
//
// Fixed format (byte 0 = 0x70, or 0x71), byte 0 bit 7 VALID, byte 2 sense key (3:0),
// byte 7 additional length, byte 12 ASC, byte 13 ASCQ.
//   VALID set (the SAT layout, libata from Linux 6.11 on):
//     bytes 3-6 Error, Status, Device, Count
//     byte 8 flags: 0x80 EXTEND, 0x40 Count (previous) nonzero,
//                   0x20 LBA (previous) bytes nonzero
//     bytes 9-11 LBA Low, Mid, High
//   VALID clear (the layout of older libata, e.g. Linux 6.1):
//     bytes 8-11 Error, Status, Device, Count
//     byte 16 flags as above, byte 17 LBA Low, bytes 18-19 LBA Mid, High
//     (the kernel returns 18 bytes, so Mid and High are usually cut off)
//   Fixed format cannot carry the previous bytes themselves; the flags only
//   tell whether they are all zero.

namespace {

constexpr uint8_t PassThrough16 = 0x85;
constexpr uint8_t ProtocolNonData = 3;
constexpr uint8_t ProtocolPioDataIn = 4;
constexpr uint8_t CdbExtend = 0x01;
constexpr uint8_t CdbCkCond = 0x20;
constexpr uint8_t CdbTDirIn = 0x08;
constexpr uint8_t CdbBytBlok = 0x04;
constexpr uint8_t CdbTLengthCount = 0x02;

constexpr uint8_t SenseDescriptorCurrent = 0x72;
constexpr uint8_t SenseDescriptorDeferred = 0x73;
constexpr uint8_t SenseFixedCurrent = 0x70;
constexpr uint8_t SenseFixedDeferred = 0x71;
constexpr uint8_t SenseValid = 0x80;
constexpr uint8_t AtaStatusReturnCode = 0x09;
constexpr uint8_t AtaStatusReturnLength = 0x0C;
constexpr uint8_t FixedFlagExtend = 0x80;
constexpr uint8_t FixedFlagCountHigh = 0x40;
constexpr uint8_t FixedFlagLbaHigh = 0x20;

constexpr uint8_t SenseKeyNoSense = 0x0;
constexpr uint8_t SenseKeyRecoveredError = 0x1;

// sg_io_hdr driver_status: the low nibble names the outcome; DRIVER_SENSE
// only says that sense data was written.
constexpr uint16_t DriverStatusOk = 0x00;
constexpr uint16_t DriverStatusSense = 0x08;

constexpr unsigned MaxDriveNumber = 15;
constexpr size_t SenseBufferSize = 32;

// The part of a sense buffer its own header vouches for: never beyond the
// bytes written, never beyond 8 + the additional length at byte 7.
std::span<const uint8_t> SenseExtent(std::span<const uint8_t> sense) {
    if (sense.size() < 8)
        return sense;
    return sense.first(std::min<size_t>(sense.size(), size_t{8} + sense[7]));
}

struct SenseKey {
    uint8_t Key = 0;
    uint8_t Asc = 0;
    uint8_t Ascq = 0;
};

std::optional<SenseKey> ReadSenseKey(std::span<const uint8_t> sense) {
    if (sense.empty())
        return std::nullopt;
    const uint8_t code = sense[0] & 0x7F;
    if (code == SenseDescriptorCurrent || code == SenseDescriptorDeferred) {
        if (sense.size() < 4)
            return std::nullopt;
        return SenseKey{static_cast<uint8_t>(sense[1] & 0x0F), sense[2], sense[3]};
    }
    if (code == SenseFixedCurrent || code == SenseFixedDeferred) {
        if (sense.size() < 3)
            return std::nullopt;
        const auto extent = SenseExtent(sense);
        SenseKey key{static_cast<uint8_t>(sense[2] & 0x0F)};
        if (extent.size() > 13) {
            key.Asc = extent[12];
            key.Ascq = extent[13];
        }
        return key;
    }
    return std::nullopt;
}

std::optional<SenseRegisters> ParseDescriptorSense(std::span<const uint8_t> sense) {
    const auto extent = SenseExtent(sense);
    size_t pos = 8;
    // Each descriptor must fit whole into the extent before it is looked at.
    while (pos + 2 <= extent.size()) {
        const size_t length = size_t{2} + extent[pos + 1];
        if (pos + length > extent.size())
            return std::nullopt;
        if (extent[pos] == AtaStatusReturnCode) {
            if (extent[pos + 1] < AtaStatusReturnLength)
                return std::nullopt;
            const auto d = extent.subspan(pos, size_t{2} + AtaStatusReturnLength);
            SenseRegisters regs;
            regs.TaskFile.Features = d[3];
            regs.TaskFile.SectorCount = d[5];
            regs.TaskFile.LbaLow = d[7];
            regs.TaskFile.LbaMid = d[9];
            regs.TaskFile.LbaHigh = d[11];
            regs.TaskFile.Device = d[12];
            regs.TaskFile.Command = d[13];
            regs.HighOrderKnown = (d[2] & 0x01) != 0;
            if (regs.HighOrderKnown) {
                regs.PreviousTaskFile.SectorCount = d[4];
                regs.PreviousTaskFile.LbaLow = d[6];
                regs.PreviousTaskFile.LbaMid = d[8];
                regs.PreviousTaskFile.LbaHigh = d[10];
            }
            regs.AddressComplete = true;
            return regs;
        }
        pos += length;
    }
    return std::nullopt;
}

// Reads flags and LBA bytes of the fixed layouts; missing bytes stay 0.
void ReadFixedAddress(std::span<const uint8_t> extent, size_t flagsAt, SenseRegisters& regs) {
    auto at = [&](size_t i) -> std::optional<uint8_t> {
        if (i < extent.size())
            return extent[i];
        return std::nullopt;
    };
    const auto flags = at(flagsAt);
    const auto low = at(flagsAt + 1);
    const auto mid = at(flagsAt + 2);
    const auto high = at(flagsAt + 3);
    regs.TaskFile.LbaLow = low.value_or(0);
    regs.TaskFile.LbaMid = mid.value_or(0);
    regs.TaskFile.LbaHigh = high.value_or(0);
    regs.AddressComplete = low && mid && high;
    regs.HighOrderKnown = flags && (*flags & FixedFlagExtend) != 0 &&
                          (*flags & (FixedFlagCountHigh | FixedFlagLbaHigh)) == 0;
}

std::optional<SenseRegisters> ParseFixedSense(std::span<const uint8_t> sense) {
    const auto extent = SenseExtent(sense);
    SenseRegisters regs;
    if ((sense[0] & SenseValid) != 0) {
        // SAT layout: the registers sit in the INFORMATION field.
        if (extent.size() < 7)
            return std::nullopt;
        regs.TaskFile.Features = extent[3];
        regs.TaskFile.Command = extent[4];
        regs.TaskFile.Device = extent[5];
        regs.TaskFile.SectorCount = extent[6];
        ReadFixedAddress(extent, 8, regs);
        return regs;
    }
    // Older libata: the registers start at byte 8. A sense that the kernel
    // made up itself (a refused command) has zeros there, and no ATA answer
    // has a Status of 0, so that means "no registers".
    if (extent.size() < 12 || extent[9] == 0)
        return std::nullopt;
    regs.TaskFile.Features = extent[8];
    regs.TaskFile.Command = extent[9];
    regs.TaskFile.Device = extent[10];
    regs.TaskFile.SectorCount = extent[11];
    ReadFixedAddress(extent, 16, regs);
    return regs;
}

// Non-data commands whose answer is read from the address registers need
// them complete; SET FEATURES and the SMART switches are judged by Status.
bool AnswerIsInAddress(const AtaCommand& cmd) {
    if (cmd.IsDataIn())
        return false;
    if (cmd.TaskFile.Command == AtaCmdSetFeatures)
        return false;
    if (cmd.TaskFile.Command == AtaCmdSmart)
        return cmd.TaskFile.Features == SmartReturnStatus;
    return true;
}

} // namespace

std::array<uint8_t, 16> BuildPassThrough16(const AtaCommand& cmd, bool ckCond) {
    std::array<uint8_t, 16> cdb{};
    const auto& cur = cmd.TaskFile;
    cdb[0] = PassThrough16;
    cdb[1] = static_cast<uint8_t>((cmd.IsDataIn() ? ProtocolPioDataIn : ProtocolNonData) << 1);
    if (cmd.IsDataIn())
        cdb[2] = CdbTDirIn | CdbBytBlok | CdbTLengthCount;
    if (ckCond)
        cdb[2] |= CdbCkCond;
    if (cmd.Is48Bit()) {
        const auto& prev = cmd.PreviousTaskFile;
        cdb[1] |= CdbExtend;
        cdb[3] = prev.Features;
        cdb[5] = prev.SectorCount;
        cdb[7] = prev.LbaLow;
        cdb[9] = prev.LbaMid;
        cdb[11] = prev.LbaHigh;
    }
    cdb[4] = cur.Features;
    cdb[6] = cur.SectorCount;
    cdb[8] = cur.LbaLow;
    cdb[10] = cur.LbaMid;
    cdb[12] = cur.LbaHigh;
    cdb[13] = cur.Device;
    cdb[14] = cur.Command;
    return cdb;
}

std::optional<SenseRegisters> ParseAtaStatusReturn(std::span<const uint8_t> sense) {
    if (sense.empty())
        return std::nullopt;
    const uint8_t code = sense[0] & 0x7F;
    if (code == SenseDescriptorCurrent || code == SenseDescriptorDeferred)
        return ParseDescriptorSense(sense);
    if (code == SenseFixedCurrent || code == SenseFixedDeferred)
        return ParseFixedSense(sense);
    return std::nullopt;
}

bool ApplyPassThroughAnswer(const PassThroughAnswer& answer, AtaCommand& cmd) {
    // Time-outs, lost devices and aborted transfers: nothing came back.
    if (answer.HostStatus != 0)
        return false;
    const uint16_t driver = answer.DriverStatus & 0x0F;
    if (driver != DriverStatusOk && driver != DriverStatusSense)
        return false;
    if (answer.ScsiStatus != ScsiStatusGood && answer.ScsiStatus != ScsiStatusCheckCondition)
        return false;

    const auto regs = ParseAtaStatusReturn(answer.Sense);
    if (!regs) {
        // A data-in command sent without CK_COND that ends GOOD ended without
        // ERR and delivered its data; the drive returned no registers.
        if (answer.ScsiStatus != ScsiStatusGood || PassThroughWantsRegisters(cmd))
            return false;
        if (cmd.IsDataIn() && answer.Resid != 0)
            return false;
        cmd.TaskFile.Features = 0;
        cmd.TaskFile.Command = StatusDrdy | StatusDsc;
        return true;
    }

    if ((regs->TaskFile.Status() & StatusErr) == 0) {
        // Without ERR the answer must be a success report that carries what
        // the caller will read.
        if (answer.ScsiStatus == ScsiStatusCheckCondition) {
            const auto key = ReadSenseKey(answer.Sense);
            if (!key || (key->Key != SenseKeyNoSense && key->Key != SenseKeyRecoveredError))
                return false;
        }
        if (AnswerIsInAddress(cmd) && !regs->AddressComplete)
            return false;
        if (AnswerIsInAddress(cmd) && cmd.Is48Bit() && !regs->HighOrderKnown)
            return false;
        if (cmd.IsDataIn() && answer.Resid != 0)
            return false;
    }
    cmd.TaskFile = regs->TaskFile;
    cmd.PreviousTaskFile = regs->PreviousTaskFile;
    return true;
}

namespace {

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

} // namespace

LinuxSgBus::LinuxSgBus(std::string devicePrefix) : prefix_(std::move(devicePrefix)) {}

std::unique_ptr<DriveHandle> LinuxSgBus::OpenDrive(unsigned driveNumber) {
    if (driveNumber > MaxDriveNumber)
        return nullptr;
    const std::string path = prefix_ + static_cast<char>('a' + driveNumber);
    // Read-only: with CAP_SYS_RAWIO the kernel takes any pass-through command
    // on such a descriptor, and closing it is no write (a descriptor open for
    // writing makes udev re-probe the disk when it closes, which wakes a
    // sleeping drive).
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == EACCES || errno == EPERM)
            permissionDenied_ = true;
        return nullptr;
    }
    // Only devices take pass-through requests.
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !(S_ISBLK(st.st_mode) || S_ISCHR(st.st_mode))) {
        ::close(fd);
        return nullptr;
    }
    return std::make_unique<LinuxSgHandle>(fd, permissionDenied_);
}

std::string LinuxSgBus::Describe() const {
    return "physical drives " + prefix_ + "a to " + prefix_ + "p";
}

} // namespace quorvane
