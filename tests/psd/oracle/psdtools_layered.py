#!/usr/bin/python3
"""Writes a layered PSD with psd-tools' low-level records (groups, nested and
closed groups, layer and vector masks, unicode names), then reads it back with
psd-tools and prints, as JSON, what psd-tools says the file holds.

Usage: psdtools_layered.py OUTPUT.psd
"""
import json
import sys

from psd_tools import PSDImage
from psd_tools.constants import BlendMode, ChannelID, ColorMode, Compression, Tag, SectionDivider
from psd_tools.psd import PSD
from psd_tools.psd.header import FileHeader
from psd_tools.psd.layer_and_mask import (ChannelData, ChannelDataList, ChannelImageData, ChannelInfo,
                                          LayerAndMaskInformation, LayerInfo, LayerRecord, LayerRecords,
                                          MaskData, MaskFlags)
from psd_tools.psd.tagged_blocks import SectionDividerSetting, TaggedBlock, TaggedBlocks
from psd_tools.psd.image_data import ImageData

WIDTH, HEIGHT = 16, 12


def blocks(unicode_name=None, divider=None):
    items = []
    if unicode_name is not None:
        from psd_tools.psd.base import StringElement  # the 'luni' payload
        items.append((Tag.UNICODE_LAYER_NAME, TaggedBlock(key=Tag.UNICODE_LAYER_NAME, data=StringElement(unicode_name))))
    if divider is not None:
        items.append((Tag.SECTION_DIVIDER_SETTING,
                      TaggedBlock(key=Tag.SECTION_DIVIDER_SETTING, data=SectionDividerSetting(kind=divider))))
    return TaggedBlocks(items)


def layer(name, rect, unicode_name=None, divider=None, mask=None, mask_rect=None):
    top, left, bottom, right = rect
    w, h = right - left, bottom - top
    ids = [ChannelID.TRANSPARENCY_MASK, ChannelID.CHANNEL_0, ChannelID.CHANNEL_1, ChannelID.CHANNEL_2]
    data = [ChannelData(Compression.RAW, bytes([(17 * i + 5) & 0xFF]) * (w * h)) for i in range(4)]
    if mask is not None:
        mt, ml, mb, mr = mask_rect
        ids.append(ChannelID.USER_LAYER_MASK)
        data.append(ChannelData(Compression.RAW, b'\x80' * ((mr - ml) * (mb - mt))))
    info = [ChannelInfo(id=i, length=2 + len(d.data)) for i, d in zip(ids, data)]
    record = LayerRecord(top=top, left=left, bottom=bottom, right=right, channel_info=info,
                         blend_mode=BlendMode.PASS_THROUGH if divider in (SectionDivider.OPEN_FOLDER,
                                                                          SectionDivider.CLOSED_FOLDER)
                         else BlendMode.NORMAL,
                         mask_data=mask, name=name, tagged_blocks=blocks(unicode_name, divider))
    return record, ChannelDataList(data)


def main():
    out = sys.argv[1]
    user_mask = MaskData(top=2, left=3, bottom=8, right=9, background_color=255, flags=MaskFlags())
    vector_mask = MaskData(top=1, left=1, bottom=5, right=6, background_color=0,
                           flags=MaskFlags(user_mask_from_render=True),
                           real_flags=MaskFlags(), real_background_color=255,
                           real_top=0, real_left=2, real_bottom=4, real_right=7)
    fixture = [
        layer('Background', (0, 0, HEIGHT, WIDTH)),
        layer('</Layer group>', (0, 0, 0, 0), divider=SectionDivider.BOUNDING_SECTION_DIVIDER),
        layer('masked', (1, 2, 9, 10), mask=user_mask, mask_rect=(2, 3, 8, 9)),
        layer('</Layer group>', (0, 0, 0, 0), divider=SectionDivider.BOUNDING_SECTION_DIVIDER),
        layer('Unicode layer', (3, 4, 7, 12), unicode_name='\u00dcn\u00efcod\u00e9 \u5c42'),
        layer('vector masked', (0, 0, 6, 8), mask=vector_mask, mask_rect=(0, 2, 4, 7)),
        layer('Inner', (0, 0, 0, 0), divider=SectionDivider.CLOSED_FOLDER),
        layer('Outer', (0, 0, 0, 0), unicode_name='\u00c4u\u00dfen', divider=SectionDivider.OPEN_FOLDER),
    ]
    records = LayerRecords([r for r, _ in fixture])
    channels = ChannelImageData([c for _, c in fixture])
    psd = PSD(
        header=FileHeader(version=1, channels=3, height=HEIGHT, width=WIDTH, depth=8, color_mode=ColorMode.RGB),
        layer_and_mask_information=LayerAndMaskInformation(
            layer_info=LayerInfo(layer_count=-len(fixture), layer_records=records, channel_image_data=channels)),
        image_data=ImageData(compression=Compression.RAW, data=b'\x40' * (3 * WIDTH * HEIGHT)),
    )
    with open(out, 'wb') as f:
        psd.write(f)

    # What psd-tools reads back.
    image = PSDImage.open(out)
    low = image._record.layer_and_mask_information.layer_info.layer_records
    index_of = {id(r): i for i, r in enumerate(low)}
    groups = {}
    for item in image.descendants():
        parent = item.parent
        groups[index_of[id(item._record)]] = index_of[id(parent._record)] if parent is not image else -1
    result = {'stored_layer_count': image._record.layer_and_mask_information.layer_info.layer_count, 'layers': []}
    for i, r in enumerate(low):
        div = r.tagged_blocks.get_data(Tag.SECTION_DIVIDER_SETTING, None)
        luni = r.tagged_blocks.get_data(Tag.UNICODE_LAYER_NAME, None)
        entry = {
            'name': r.name,
            'unicode_name': None if luni is None else str(luni),
            'rect': [r.top, r.left, r.bottom, r.right],
            'channels': [[int(c.id), c.length] for c in r.channel_info],
            'section_type': 0 if div is None else int(div.kind),
            'group': groups.get(i),
            'masks': {},
        }
        m = r.mask_data
        if m is not None:
            first = {'rect': [m.top, m.left, m.bottom, m.right], 'default_color': m.background_color}
            entry['masks']['vector' if m.flags.user_mask_from_render else 'layer'] = first
            if m.real_flags is not None:
                entry['masks']['vector' if m.real_flags.user_mask_from_render else 'layer'] = {
                    'rect': [m.real_top, m.real_left, m.real_bottom, m.real_right],
                    'default_color': m.real_background_color}
        result['layers'].append(entry)
    json.dump(result, sys.stdout, ensure_ascii=True)


if __name__ == '__main__':
    main()
