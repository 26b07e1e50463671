// Real dumps whose IDENTIFY pages cover the AAM and APM cases, with their
// level words read by hand (words 83, 86, 91 and 94):
//   SAMSUNG HS122JC       83=5B09 86=1A09 91=0080 94=FE80  AAM on 128 (254), APM on 128
//   SAMSUNG HD501LJ       83=7F01 86=BC01 94=FE00          AAM supported, off; no APM
//   Maxtor 96147H8        83=4309 86=0201 91=0000 94=C0C0  AAM on 192, APM supported, off
//   IBM IC25N020ATCS04-0  83=49A8 86=0808 91=40FE          no AAM, APM on 254
//   WDC WD20EARS          83=7F61 86=BC41 94=80FE          AAM supported, off, low byte FE
//   Hitachi HDS721010     83=7C01 86=BC01                  neither
#pragma once

namespace quorvane::test {

constexpr const char* Samsung = "SAMSUNG_HS122JC";
constexpr const char* SamsungAamOff = "SAMSUNG_HD501LJ--CR100-12";
constexpr const char* MaxtorApmOff = "Maxtor_96147H8--BAC51KJ0--2";
constexpr const char* IbmApmOnly = "IBM_IC25N020ATCS04-0";
constexpr const char* WdcAamOff = "WDC_WD20EARS-00MVWB0";
constexpr const char* HitachiNeither = "Hitachi_HDS721010CLA632";

} // namespace quorvane::test
