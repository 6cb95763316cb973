#include "PetArtErrors.h"

namespace nubbo {

QString description(PackError error, Language language) {
    switch (error) {
    case PackError::extractFailed:
        return bilingual(language, u"Could not unzip the pack.", u"无法解压该宠物包。");
    case PackError::invalidStructure:
        return bilingual(language, u"The pack has no images/ or frames/ folder.",
                    u"宠物包里没有 images/ 或 frames/ 文件夹。");
    case PackError::installFailed:
        return bilingual(language, u"Could not move the pack into Nubbo's pet packs folder.",
                    u"无法把宠物包放进 Nubbo 的宠物包文件夹。");
    }
    return {};
}

QString description(PictureError error, Language language) {
    switch (error) {
    case PictureError::notAnImage:
        return bilingual(language, u"This file is not a picture Nubbo can read.",
                    u"Nubbo 无法读取这个文件里的图片。");
    case PictureError::copyFailed:
        return bilingual(language, u"Could not copy the picture into Nubbo's custom pets folder.",
                    u"无法把图片复制到 Nubbo 的自定义宠物文件夹。");
    }
    return {};
}

QString packAlertTitle(Language language) {
    return bilingual(language, u"Could not import pet pack", u"无法导入宠物包");
}

QString pictureAlertTitle(Language language) {
    return bilingual(language, u"Could not use this picture", u"无法使用这张图片");
}

} // namespace nubbo
