// One ordinary sentence for every locale the service offers, in that
// language's own script and spelling, without digits or Latin words, so
// that a voice speaking it needs no other language. Written by hand.
#pragma once

#include <string>
#include <vector>

namespace tavrel::test {

struct NativeSentence {
    const char *locale;
    const char *sentence;
};

inline const std::vector<NativeSentence> &nativeSentences()
{
    static const std::vector<NativeSentence> table = {
        {"af-ZA", "Die weer is vandag baie mooi, so ons gaan saam park toe om te stap."},
        {"am-ET", "ዛሬ የአየሩ ሁኔታ በጣም ጥሩ ነው፣ ስለዚህ አብረን ወደ መናፈሻ እንሄዳለን።"},
        {"ar-SA", "الطقس جميل جدا اليوم، لذلك سنذهب معا إلى الحديقة للتنزه."},
        {"az-AZ", "Bu gün hava çox gözəldir, ona görə də birlikdə parka gəzməyə gedirik."},
        {"bg-BG", "Днес времето е много хубаво, затова ще отидем заедно на разходка в парка."},
        {"bn-BD", "আজ আবহাওয়া খুব সুন্দর, তাই আমরা একসাথে পার্কে বেড়াতে যাব।"},
        {"bs-BA", "Danas je vrijeme veoma lijepo, pa ćemo zajedno prošetati parkom."},
        {"ca-ES", "Avui fa molt bon temps, així que anirem a passejar junts pel parc."},
        {"cs-CZ", "Dnes je opravdu krásné počasí, a tak se spolu půjdeme projít do parku."},
        {"cy-GB", "Mae'r tywydd yn braf iawn heddiw, felly awn ni am dro yn y parc gyda'n gilydd."},
        {"da-DK", "Vejret er meget dejligt i dag, så vi går en tur i parken sammen."},
        {"de-DE", "Das Wetter ist heute sehr schön, deshalb gehen wir zusammen im Park spazieren."},
        {"el-GR", "Ο καιρός είναι πολύ ωραίος σήμερα, γι' αυτό θα πάμε μαζί βόλτα στο πάρκο."},
        {"en-GB", "The weather is lovely today, so we shall take a stroll through the park together."},
        {"en-US", "The weather is really nice today, so let's take a walk in the park together."},
        {"es-MX", "Hoy hace muy buen clima, así que vamos a caminar juntos por el parque."},
        {"es-ES", "Hoy hace muy buen tiempo, así que vamos a dar un paseo juntos por el parque."},
        {"et-EE", "Täna on väga ilus ilm, seega läheme koos pargis jalutama."},
        {"fa-IR", "امروز هوا خیلی خوب است، پس با هم برای قدم زدن به پارک می‌رویم."},
        {"fi-FI", "Tänään on todella kaunis ilma, joten lähdemme yhdessä kävelylle puistoon."},
        {"fr-BE", "Il fait vraiment beau aujourd'hui, on va se promener ensemble au parc."},
        {"fr-CH", "Le temps est magnifique aujourd'hui, nous allons donc faire une promenade au bord du lac."},
        {"fr-FR", "Il fait très beau aujourd'hui, alors nous allons nous promener ensemble dans le parc."},
        {"ga-IE", "Tá an aimsir go hálainn inniu, mar sin rachaimid ag siúl le chéile sa pháirc."},
        {"gu-IN", "આજે હવામાન ખૂબ જ સરસ છે, તેથી આપણે સાથે બગીચામાં ફરવા જઈશું."},
        {"he-IL", "מזג האוויר היום נעים מאוד, אז נצא יחד לטייל בפארק."},
        {"hi-IN", "आज मौसम बहुत अच्छा है, इसलिए हम साथ में पार्क में घूमने चलेंगे।"},
        {"hr-HR", "Danas je prekrasan dan, pa ćemo se zajedno prošetati uz more."},
        {"hu-HU", "Ma nagyon szép idő van, ezért együtt elmegyünk sétálni a parkba."},
        {"id-ID", "Hari ini cuacanya sangat cerah, jadi kita akan berjalan-jalan bersama di taman."},
        {"is-IS", "Veðrið er mjög gott í dag, svo við ætlum að fara saman í göngutúr í garðinum."},
        {"it-IT", "Oggi il tempo è davvero bello, quindi andiamo a fare una passeggiata insieme nel parco."},
        {"ja-JP", "今日は天気がとても良いので、一緒に公園へ散歩に行きましょう。"},
        {"ka-GE", "დღეს ამინდი ძალიან კარგია, ამიტომ ერთად წავიდეთ პარკში სასეირნოდ."},
        {"kk-KZ", "Бүгін ауа райы өте жақсы, сондықтан біз бірге саябаққа серуендеуге барамыз."},
        {"kn-IN", "ಇಂದು ಹವಾಮಾನ ತುಂಬಾ ಚೆನ್ನಾಗಿದೆ, ಆದ್ದರಿಂದ ನಾವು ಒಟ್ಟಿಗೆ ಉದ್ಯಾನವನಕ್ಕೆ ಹೋಗೋಣ."},
        {"ko-KR", "오늘은 날씨가 정말 좋아서 우리 함께 공원에 산책하러 가요."},
        {"lt-LT", "Šiandien labai graži diena, todėl kartu eisime pasivaikščioti į parką."},
        {"lv-LV", "Šodien ir ļoti jauks laiks, tāpēc mēs kopā iesim pastaigāties parkā."},
        {"mk-MK", "Денес времето е многу убаво, затоа ќе одиме заедно на прошетка во паркот."},
        {"ml-IN", "ഇന്ന് കാലാവസ്ഥ വളരെ നല്ലതാണ്, അതുകൊണ്ട് നമുക്ക് ഒരുമിച്ച് പാർക്കിൽ നടക്കാൻ പോകാം."},
        {"mr-IN", "आज हवामान खूप छान आहे, म्हणून आपण सगळे मिळून बागेत फिरायला जाऊया."},
        {"ms-MY", "Cuaca hari ini sangat baik, jadi kita akan bersiar-siar bersama di taman."},
        {"mt-MT", "Illum it-temp sabiħ ħafna, għalhekk se mmorru nimxu flimkien fil-ġnien."},
        {"my-MM", "ဒီနေ့ ရာသီဥတု အရမ်းကောင်းတယ်၊ ဒါကြောင့် ပန်းခြံထဲမှာ အတူတူ လမ်းလျှောက်ကြရအောင်။"},
        {"nb-NO", "Været er veldig fint i dag, så vi går en tur i parken sammen."},
        {"ne-NP", "आज मौसम धेरै राम्रो छ, त्यसैले हामी सँगै पार्कमा घुम्न जाऔं।"},
        {"nl-NL", "Het weer is vandaag heel mooi, dus we gaan samen een wandeling maken in het park."},
        {"pl-PL", "Dzisiaj jest bardzo ładna pogoda, więc pójdziemy razem na spacer do parku."},
        {"pt-BR", "Hoje o tempo está muito bonito, então vamos passear juntos no parque."},
        {"pt-PT", "Hoje está um dia muito bonito, por isso vamos dar um passeio juntos no jardim."},
        {"ro-RO", "Astăzi vremea este foarte frumoasă, așa că vom merge împreună la plimbare în parc."},
        {"ru-RU", "Сегодня очень хорошая погода, поэтому мы вместе пойдём гулять в парк."},
        {"si-LK", "අද කාලගුණය ඉතා හොඳයි, ඒ නිසා අපි එකට උයනේ ඇවිදින්න යමු."},
        {"sk-SK", "Dnes je veľmi pekné počasie, preto sa spolu pôjdeme prejsť do parku."},
        {"sl-SI", "Danes je zelo lepo vreme, zato se bomo skupaj sprehodili po parku."},
        {"sq-AL", "Sot koha është shumë e bukur, prandaj do të shkojmë bashkë për shëtitje në park."},
        {"sr-RS", "Данас је време веома лепо, па ћемо заједно прошетати парком."},
        {"sv-SE", "Vädret är väldigt fint i dag, så vi går en promenad i parken tillsammans."},
        {"sw-KE", "Leo hali ya hewa ni nzuri sana, kwa hiyo tutaenda kutembea pamoja bustanini."},
        {"ta-IN", "இன்று வானிலை மிகவும் நன்றாக இருக்கிறது, அதனால் நாம் ஒன்றாகப் பூங்காவுக்குச் செல்வோம்."},
        {"te-IN", "ఈ రోజు వాతావరణం చాలా బాగుంది, కాబట్టి మనం కలిసి పార్కులో నడవడానికి వెళ్దాం."},
        {"th-TH", "วันนี้อากาศดีมาก เราไปเดินเล่นที่สวนสาธารณะด้วยกันเถอะ"},
        {"tr-TR", "Bugün hava çok güzel, bu yüzden birlikte parkta yürüyüşe çıkacağız."},
        {"uk-UA", "Сьогодні дуже гарна погода, тому ми разом підемо гуляти в парк."},
        {"ur-PK", "آج موسم بہت اچھا ہے، اس لیے ہم مل کر پارک میں سیر کرنے جائیں گے۔"},
        {"uz-UZ", "Bugun havo juda yaxshi, shuning uchun biz birga bogʻda sayr qilamiz."},
        {"vi-VN", "Hôm nay thời tiết rất đẹp, vì vậy chúng ta hãy cùng nhau đi dạo trong công viên."},
        {"zh-CN", "今天天气很好，我们一起去公园散步吧。"},
        {"zh-TW", "今天天氣很好，我們一起去公園散步吧。"},
        // Cantonese, in Traditional characters and with its own words (今日, 我哋, 一齊).
        {"zh-HK", "今日天氣好好，我哋一齊去公園行吓啦。"},
    };
    return table;
}

// The sentence for `locale`, or null.
inline const char *nativeSentence(const std::string &locale)
{
    for (const NativeSentence &s : nativeSentences())
        if (locale == s.locale)
            return s.sentence;
    return nullptr;
}

}  // namespace tavrel::test
