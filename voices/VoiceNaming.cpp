#include "VoiceNaming.h"

#include <QPair>
#include <initializer_list>

namespace VoiceNaming {

namespace {

using Row = QPair<QString, QString>;

NamingTable makeTable(std::initializer_list<Row> rows)
{
    NamingTable table;
    for (const Row &row : rows) {
        table.keys.append(row.first);
        table.values.append(row.second);
    }
    return table;
}

} // namespace

QString lookup(const QString &text, const QStringList &keys, const QStringList &values, Direction direction)
{
    const QStringList &searched = direction == Direction::Forward ? keys : values;
    const QStringList &found = direction == Direction::Forward ? values : keys;
    const int row = searched.indexOf(text);
    if (row < 0 || row >= found.size())
        return text;
    return found.at(row);
}

const NamingTable &localeTable()
{
    // Codes the service names without a Chinese name of their own map to themselves.
    static const NamingTable table = makeTable({
        {QStringLiteral("af-ZA"), QStringLiteral("南非荷兰语(南非)")},
        {QStringLiteral("am-ET"), QStringLiteral("阿姆哈拉语")},
        {QStringLiteral("ar-AE"), QStringLiteral("阿拉伯语(阿联酋)")},
        {QStringLiteral("ar-BH"), QStringLiteral("阿拉伯语(巴林)")},
        {QStringLiteral("ar-DZ"), QStringLiteral("阿拉伯语(阿尔及利亚)")},
        {QStringLiteral("ar-EG"), QStringLiteral("阿拉伯语(埃及)")},
        {QStringLiteral("ar-IQ"), QStringLiteral("阿拉伯语(伊拉克)")},
        {QStringLiteral("ar-JO"), QStringLiteral("阿拉伯语(约旦)")},
        {QStringLiteral("ar-KW"), QStringLiteral("阿拉伯语(科威特)")},
        {QStringLiteral("ar-LB"), QStringLiteral("阿拉伯语(黎巴嫩)")},
        {QStringLiteral("ar-LY"), QStringLiteral("阿拉伯语(利比亚)")},
        {QStringLiteral("ar-MA"), QStringLiteral("阿拉伯语(摩洛哥)")},
        {QStringLiteral("ar-OM"), QStringLiteral("阿拉伯语(阿曼)")},
        {QStringLiteral("ar-QA"), QStringLiteral("阿拉伯语(卡塔尔)")},
        {QStringLiteral("ar-SA"), QStringLiteral("阿拉伯语(沙特)")},
        {QStringLiteral("ar-SY"), QStringLiteral("阿拉伯语(叙利亚)")},
        {QStringLiteral("ar-TN"), QStringLiteral("阿拉伯语(突尼斯)")},
        {QStringLiteral("ar-YE"), QStringLiteral("阿拉伯语(也门)")},
        {QStringLiteral("az-AZ"), QStringLiteral("阿塞拜疆语")},
        {QStringLiteral("bg-BG"), QStringLiteral("保加利亚语")},
        {QStringLiteral("bn-BD"), QStringLiteral("孟加拉语")},
        {QStringLiteral("bn-IN"), QStringLiteral("孟加拉语(印度)")},
        {QStringLiteral("bs-BA"), QStringLiteral("波斯尼亚语")},
        {QStringLiteral("ca-ES"), QStringLiteral("加泰罗尼亚语")},
        {QStringLiteral("cs-CZ"), QStringLiteral("捷克语")},
        {QStringLiteral("cy-GB"), QStringLiteral("威尔士语")},
        {QStringLiteral("da-DK"), QStringLiteral("丹麦语")},
        {QStringLiteral("de-AT"), QStringLiteral("奥地利语")},
        {QStringLiteral("de-CH"), QStringLiteral("德语(瑞士)")},
        {QStringLiteral("de-DE"), QStringLiteral("德语(德国)")},
        {QStringLiteral("el-GR"), QStringLiteral("希腊语")},
        {QStringLiteral("en-AU"), QStringLiteral("英语(澳大利亚)")},
        {QStringLiteral("en-CA"), QStringLiteral("英语(加拿大)")},
        {QStringLiteral("en-GB"), QStringLiteral("英语(英国)")},
        {QStringLiteral("en-HK"), QStringLiteral("英语(香港)")},
        {QStringLiteral("en-IE"), QStringLiteral("英语(爱尔兰)")},
        {QStringLiteral("en-IN"), QStringLiteral("英语(印度)")},
        {QStringLiteral("en-KE"), QStringLiteral("en-KE")},
        {QStringLiteral("en-NG"), QStringLiteral("英语(尼日利亚)")},
        {QStringLiteral("en-NZ"), QStringLiteral("英语(新西兰)")},
        {QStringLiteral("en-PH"), QStringLiteral("英语(菲律宾)")},
        {QStringLiteral("en-SG"), QStringLiteral("英语(新加坡)")},
        {QStringLiteral("en-TZ"), QStringLiteral("英语(坦桑尼亚)")},
        {QStringLiteral("en-US"), QStringLiteral("英语(美国)")},
        {QStringLiteral("en-ZA"), QStringLiteral("英语(南非)")},
        {QStringLiteral("es-AR"), QStringLiteral("西班牙语(阿根廷)")},
        {QStringLiteral("es-BO"), QStringLiteral("西班牙语(玻利维亚)")},
        {QStringLiteral("es-CL"), QStringLiteral("西班牙语(智利)")},
        {QStringLiteral("es-CO"), QStringLiteral("西班牙语(哥伦比亚)")},
        {QStringLiteral("es-CR"), QStringLiteral("西班牙语(哥斯达黎加)")},
        {QStringLiteral("es-CU"), QStringLiteral("es-CU")},
        {QStringLiteral("es-DO"), QStringLiteral("西班牙语(多米尼加)")},
        {QStringLiteral("es-EC"), QStringLiteral("西班牙语(厄瓜多尔)")},
        {QStringLiteral("es-ES"), QStringLiteral("西班牙语(西班牙)")},
        {QStringLiteral("es-GQ"), QStringLiteral("es-GQ")},
        {QStringLiteral("es-GT"), QStringLiteral("西班牙语(危地马拉)")},
        {QStringLiteral("es-HN"), QStringLiteral("西班牙语(洪都拉斯)")},
        {QStringLiteral("es-MX"), QStringLiteral("西班牙语(墨西哥)")},
        {QStringLiteral("es-NI"), QStringLiteral("西班牙语(尼加拉瓜)")},
        {QStringLiteral("es-PA"), QStringLiteral("西班牙语(巴拿马)")},
        {QStringLiteral("es-PE"), QStringLiteral("西班牙语(秘鲁)")},
        {QStringLiteral("es-PR"), QStringLiteral("西班牙语(波多黎各)")},
        {QStringLiteral("es-PY"), QStringLiteral("西班牙语(巴拉圭)")},
        {QStringLiteral("es-SV"), QStringLiteral("西班牙语(萨尔瓦多)")},
        {QStringLiteral("es-US"), QStringLiteral("西班牙语(美国)")},
        {QStringLiteral("es-UY"), QStringLiteral("西班牙语(乌拉圭)")},
        {QStringLiteral("es-VE"), QStringLiteral("西班牙语(委内瑞拉玻利瓦尔)")},
        {QStringLiteral("et-EE"), QStringLiteral("爱沙尼亚语")},
        {QStringLiteral("fa-IR"), QStringLiteral("波斯语")},
        {QStringLiteral("fi-FI"), QStringLiteral("芬兰语")},
        {QStringLiteral("fil-PH"), QStringLiteral("菲律宾语")},
        {QStringLiteral("fr-BE"), QStringLiteral("法语(比利时)")},
        {QStringLiteral("fr-CA"), QStringLiteral("法语(加拿大)")},
        {QStringLiteral("fr-CH"), QStringLiteral("法语(瑞士)")},
        {QStringLiteral("fr-FR"), QStringLiteral("法语(法国)")},
        {QStringLiteral("ga-IE"), QStringLiteral("爱尔兰语")},
        {QStringLiteral("gl-ES"), QStringLiteral("加利西亚语")},
        {QStringLiteral("gu-IN"), QStringLiteral("古吉拉特语")},
        {QStringLiteral("he-IL"), QStringLiteral("希伯来语")},
        {QStringLiteral("hi-IN"), QStringLiteral("印地语")},
        {QStringLiteral("hr-HR"), QStringLiteral("克罗地亚语")},
        {QStringLiteral("hu-HU"), QStringLiteral("匈牙利语")},
        {QStringLiteral("id-ID"), QStringLiteral("印度尼西亚语")},
        {QStringLiteral("is-IS"), QStringLiteral("冰岛语")},
        {QStringLiteral("it-IT"), QStringLiteral("意大利语")},
        {QStringLiteral("ja-JP"), QStringLiteral("日语")},
        {QStringLiteral("jv-ID"), QStringLiteral("jv-ID")},
        {QStringLiteral("ka-GE"), QStringLiteral("格鲁吉亚语")},
        {QStringLiteral("kk-KZ"), QStringLiteral("哈萨克语")},
        {QStringLiteral("km-KH"), QStringLiteral("高棉语")},
        {QStringLiteral("kn-IN"), QStringLiteral("埃纳德语")},
        {QStringLiteral("ko-KR"), QStringLiteral("朝鲜语")},
        {QStringLiteral("lo-LA"), QStringLiteral("老挝语")},
        {QStringLiteral("lt-LT"), QStringLiteral("立陶宛语")},
        {QStringLiteral("lv-LV"), QStringLiteral("拉脱维亚语")},
        {QStringLiteral("mk-MK"), QStringLiteral("马其顿语")},
        {QStringLiteral("ml-IN"), QStringLiteral("马拉雅拉姆语")},
        {QStringLiteral("mn-MN"), QStringLiteral("蒙古语")},
        {QStringLiteral("mr-IN"), QStringLiteral("马拉地语")},
        {QStringLiteral("ms-MY"), QStringLiteral("马来语")},
        {QStringLiteral("mt-MT"), QStringLiteral("马耳他语")},
        {QStringLiteral("my-MM"), QStringLiteral("my-MM")},
        {QStringLiteral("nb-NO"), QStringLiteral("书面挪威语")},
        {QStringLiteral("ne-NP"), QStringLiteral("尼泊尔语")},
        {QStringLiteral("nl-BE"), QStringLiteral("荷兰语(比利时)")},
        {QStringLiteral("nl-NL"), QStringLiteral("荷兰语(荷兰)")},
        {QStringLiteral("pl-PL"), QStringLiteral("波兰语")},
        {QStringLiteral("ps-AF"), QStringLiteral("普什图语")},
        {QStringLiteral("pt-BR"), QStringLiteral("葡萄牙语(巴西)")},
        {QStringLiteral("pt-PT"), QStringLiteral("葡萄牙语(葡萄牙)")},
        {QStringLiteral("ro-RO"), QStringLiteral("罗马尼亚语")},
        {QStringLiteral("ru-RU"), QStringLiteral("俄语")},
        {QStringLiteral("si-LK"), QStringLiteral("僧伽罗语")},
        {QStringLiteral("sk-SK"), QStringLiteral("斯洛伐克语")},
        {QStringLiteral("sl-SI"), QStringLiteral("斯洛文尼亚语")},
        {QStringLiteral("so-SO"), QStringLiteral("so-SO")},
        {QStringLiteral("sq-AL"), QStringLiteral("阿尔巴尼亚语")},
        {QStringLiteral("sr-RS"), QStringLiteral("塞尔维亚语")},
        {QStringLiteral("su-ID"), QStringLiteral("su-ID")},
        {QStringLiteral("sv-SE"), QStringLiteral("瑞典语")},
        {QStringLiteral("sw-KE"), QStringLiteral("斯瓦希里语(肯尼亚)")},
        {QStringLiteral("sw-TZ"), QStringLiteral("斯瓦希里语(坦桑尼亚)")},
        {QStringLiteral("ta-IN"), QStringLiteral("泰米尔语(印度)")},
        {QStringLiteral("ta-LK"), QStringLiteral("ta-LK")},
        {QStringLiteral("ta-MY"), QStringLiteral("ta-MY")},
        {QStringLiteral("ta-SG"), QStringLiteral("ta-SG")},
        {QStringLiteral("te-IN"), QStringLiteral("泰卢固语")},
        {QStringLiteral("th-TH"), QStringLiteral("泰语")},
        {QStringLiteral("tr-TR"), QStringLiteral("土耳其语")},
        {QStringLiteral("uk-UA"), QStringLiteral("乌克兰语")},
        {QStringLiteral("ur-IN"), QStringLiteral("ur-IN")},
        {QStringLiteral("ur-PK"), QStringLiteral("乌尔都语")},
        {QStringLiteral("uz-UZ"), QStringLiteral("乌兹别克语")},
        {QStringLiteral("vi-VN"), QStringLiteral("越南语")},
        {QStringLiteral("zh-CN"), QStringLiteral("汉语(大陆)")},
        {QStringLiteral("zh-CN-liaoning"), QStringLiteral("汉语(东北)")},
        {QStringLiteral("zh-CN-shaanxi"), QStringLiteral("汉语(陕西)")},
        {QStringLiteral("zh-HK"), QStringLiteral("汉语(香港)")},
        {QStringLiteral("zh-TW"), QStringLiteral("汉语(台湾)")},
        {QStringLiteral("zu-ZA"), QStringLiteral("祖鲁语")},
    });
    return table;
}

const NamingTable &nicknameTable()
{
    static const NamingTable table = makeTable({
        {QStringLiteral("zh-CN-liaoning-XiaobeiNeural"), QStringLiteral("东北-小贝")},
        {QStringLiteral("zh-CN-YunyangNeural"), QStringLiteral("云杨")},
        {QStringLiteral("zh-CN-YunxiaNeural"), QStringLiteral("云夏")},
        {QStringLiteral("zh-CN-YunxiNeural"), QStringLiteral("云溪")},
        {QStringLiteral("zh-CN-YunjianNeural"), QStringLiteral("云健")},
        {QStringLiteral("zh-CN-XiaoyiNeural"), QStringLiteral("晓伊")},
        {QStringLiteral("zh-CN-XiaoxiaoNeural"), QStringLiteral("晓晓")},
    });
    return table;
}

const NamingTable &genderTable()
{
    static const NamingTable table = makeTable({
        {QStringLiteral("Female"), QStringLiteral("女声")},
        {QStringLiteral("Male"), QStringLiteral("男声")},
    });
    return table;
}

QString localeDisplayName(const QString &code)
{
    return lookup(code, localeTable().keys, localeTable().values, Direction::Forward);
}

QString voiceNickname(const QString &identifier)
{
    return lookup(identifier, nicknameTable().keys, nicknameTable().values, Direction::Forward);
}

QString voiceIdentifier(const QString &nickname)
{
    return lookup(nickname, nicknameTable().keys, nicknameTable().values, Direction::Reverse);
}

QString genderDisplayName(const QString &gender)
{
    return lookup(gender, genderTable().keys, genderTable().values, Direction::Forward);
}

} // namespace VoiceNaming
