// The yardstick of the merge bench: pdfme's one-call generation of the same
// cards the merge makes.
//
//   node cards.mjs TEMPLATE.json RECORDS.json OUT.pdf
//
// TEMPLATE.json is what bench/merge_inputs.py template wrote (the stored
// master PDF, the uploaded fonts, the stored field rectangles in points, top
// left); RECORDS.json the records of the merge's CSV. Every record becomes one
// page of OUT.pdf, from one call of generate(). Prints "generate SECONDS" (the
// call alone) and "pages N".
import { readFileSync, writeFileSync } from 'node:fs';
import { generate } from '@pdfme/generator';
import { image, text } from '@pdfme/schemas';

const kMmPerPoint = 25.4 / 72;
const [templatePath, recordsPath, outPath] = process.argv.slice(2);
if (!outPath) {
  console.error('usage: node cards.mjs TEMPLATE.json RECORDS.json OUT.pdf');
  process.exit(2);
}
const described = JSON.parse(readFileSync(templatePath, 'utf8'));
const records = JSON.parse(readFileSync(recordsPath, 'utf8'));

const font = {};
for (const [name, path] of Object.entries(described.fonts)) {
  font[name] = { data: readFileSync(path), fallback: name === 'DejaVuSans.ttf' };
}
if (!Object.values(font).some((f) => f.fallback)) Object.values(font)[0].fallback = true;

const mm = (points) => points * kMmPerPoint;
const schema = described.fields.map((field) => {
  const placed = {
    name: field.name,
    type: field.type,
    position: { x: mm(field.x), y: mm(field.y) },
    width: mm(field.width),
    height: mm(field.height),
  };
  if (field.type === 'text') Object.assign(placed, { fontName: field.font, fontSize: field.size });
  return placed;
});
const imageFields = described.fields.filter((f) => f.type === 'image').map((f) => f.name);

// Each distinct image file is read once; its data URL is the value of every
// record that names it, as a caller holding the records in memory would pass.
const dataUrls = new Map();
const inputs = records.map((record) => {
  const input = { ...record };
  for (const name of imageFields) {
    const path = record[name];
    if (!dataUrls.has(path)) {
      dataUrls.set(path, 'data:image/png;base64,' + readFileSync(path).toString('base64'));
    }
    input[name] = dataUrls.get(path);
  }
  return input;
});

const template = { basePdf: readFileSync(described.basePdf), schemas: [schema] };
const start = process.hrtime.bigint();
const pdf = await generate({ template, inputs, options: { font }, plugins: { text, image } });
const seconds = Number(process.hrtime.bigint() - start) / 1e9;
writeFileSync(outPath, pdf);
console.log(`generate ${seconds.toFixed(3)}`);
console.log(`pages ${inputs.length}`);
