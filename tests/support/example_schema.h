// A small settings schema of types 25-27: three meta rows, the country setting, a toggle and a
// numeric field with unit, scale and suffix, shown only for UZB and RUS.
#pragma once

#include <string_view>

namespace korvan::testing {

inline constexpr std::string_view kExampleSchemaCsv =
    "rowtype,type,name,category,index,display,rus_default,uzb_default,tjk_default,value,min,max,"
    "unit,scale,suffix,hint,options\n"
    "meta,schema_version,,,,,2.4.1-07,,,,,,,,,,\n"
    "meta,byte_length,,,,,64,,,,,,,,,,\n"
    "meta,fw_index,,,,,62,,,,,,,,,,\n"
    "field,enum,FW_Country,System,62,7,0,1,2,255,0,255,1,1,,Country of the settings,RUS|UZB|TJK\n"
    "field,toggle,Laser,Radar,5,7,1,1,0,255,,,,,,Laser detection on or off,\n"
    "field,number,City 1 range,GPS,9,6,8,6,4,255,2,28,2,50,m,Search range in town,\n";

}  // namespace korvan::testing
