#include "petart/PetArtErrors.h"

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
    case PackError::tooMuchArt:
        return bilingual(language, u"The pack's pictures are too large or too many.",
                    u"宠物包里的图片太大或太多。");
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
    case PictureError::tooLarge:
        return bilingual(language, u"This picture is too large.", u"这张图片太大。");
    }
    return {};
}

// One pass of arg(): a file named "%2" stays as it is.
QString description(const ArtRefusal& refusal, Language language) {
    switch (refusal.reason) {
    case ArtRefusal::Reason::tooLarge:
        return bilingual(language, u"%1 is %2 × %3 pixels; a picture may be at most %4 × %4.",
                         u"%1 为 %2 × %3 像素，图片最大 %4 × %4 像素。")
            .arg(refusal.file, QString::number(refusal.size.width()), QString::number(refusal.size.height()),
                 QString::number(refusal.limit));
    case ArtRefusal::Reason::tooManyFramesInLoop:
        return bilingual(language, u"%1 has %2 frames; a loop may have at most %3.",
                         u"%1 有 %2 帧，每个动画最多 %3 帧。")
            .arg(refusal.file, QString::number(refusal.count), QString::number(refusal.limit));
    case ArtRefusal::Reason::tooManyFrames:
        return bilingual(language, u"The pack has %1 frames in all; a pack may have at most %2.",
                         u"宠物包共有 %1 帧，最多 %2 帧。")
            .arg(QString::number(refusal.count), QString::number(refusal.limit));
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
