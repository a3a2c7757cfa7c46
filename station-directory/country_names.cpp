#include "country_names.h"

namespace stationdir {

namespace {

struct CountryName
{
    const char *code;
    const char *traditional;
    const char *simplified;
};

const CountryName kCountries[] = {
    {"AE", "阿拉伯聯合大公國", "阿拉伯联合酋长国"},
    {"AR", "阿根廷", "阿根廷"},
    {"AT", "奧地利", "奥地利"},
    {"AU", "澳洲", "澳大利亚"},
    {"BE", "比利時", "比利时"},
    {"BR", "巴西", "巴西"},
    {"CA", "加拿大", "加拿大"},
    {"CH", "瑞士", "瑞士"},
    {"CN", "中國", "中国"},
    {"CZ", "捷克", "捷克"},
    {"DE", "德國", "德国"},
    {"DK", "丹麥", "丹麦"},
    {"EG", "埃及", "埃及"},
    {"ES", "西班牙", "西班牙"},
    {"FI", "芬蘭", "芬兰"},
    {"FR", "法國", "法国"},
    {"GB", "英國", "英国"},
    {"GR", "希臘", "希腊"},
    {"HK", "香港", "香港"},
    {"HU", "匈牙利", "匈牙利"},
    {"ID", "印尼", "印度尼西亚"},
    {"IE", "愛爾蘭", "爱尔兰"},
    {"IN", "印度", "印度"},
    {"IT", "義大利", "意大利"},
    {"JP", "日本", "日本"},
    {"KR", "韓國", "韩国"},
    {"MO", "澳門", "澳门"},
    {"MX", "墨西哥", "墨西哥"},
    {"MY", "馬來西亞", "马来西亚"},
    {"NL", "荷蘭", "荷兰"},
    {"NO", "挪威", "挪威"},
    {"NZ", "紐西蘭", "新西兰"},
    {"PH", "菲律賓", "菲律宾"},
    {"PL", "波蘭", "波兰"},
    {"PT", "葡萄牙", "葡萄牙"},
    {"RO", "羅馬尼亞", "罗马尼亚"},
    {"RU", "俄羅斯", "俄罗斯"},
    {"SA", "沙烏地阿拉伯", "沙特阿拉伯"},
    {"SE", "瑞典", "瑞典"},
    {"SG", "新加坡", "新加坡"},
    {"TH", "泰國", "泰国"},
    {"TR", "土耳其", "土耳其"},
    {"TW", "台灣", "台湾"},
    {"UA", "烏克蘭", "乌克兰"},
    {"US", "美國", "美国"},
    {"VN", "越南", "越南"},
    {"ZA", "南非", "南非"},
};

}  // namespace

const char *chineseCountryName(const std::string &code, bool traditional)
{
    for (const auto &c : kCountries)
        if (code == c.code)
            return traditional ? c.traditional : c.simplified;
    return nullptr;
}

}  // namespace stationdir
